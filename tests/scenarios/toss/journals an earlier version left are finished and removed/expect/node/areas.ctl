; areas.ctl - the file echoes of the node
;
; One block per echo, from its "Area" line to the next one. Links are
; written in full (2:9999/20) or relative to the echo's AKA (20, .1).
; An echo without Path is pass-through: its files stay in PassTrough only
; until every link has them. The robot and the toss rewrite this file
; (backup: areas.old) in this block form.

Area           SAMPLE.NODELIST
Path           files/fido/nodelist/
Desc           Weekly nodelist of the sample net
Group          A
SecurityWrite  100
AKA            2:9999/1
Links          10 20

Area           SAMPLE.SOFT
Path           files/fido/soft/
Desc           Software for the sample net
Group          A
SecurityWrite  100
AKA            2:9999/1
Links          2:9999/10 20

Area           SAMPLE.INFO
Path           files/fido/info/
Desc           Information files
CreateFlag     flags/newfiles.flg
Group          A
AKA            2:9999/1
Links          10

Area           SAMPLE.PASS
Desc           Pass-through echo of the uplink
Group          B
SecurityShow   10
SecurityRead   10
SecurityWrite  100
AKA            2:9999/1
Links          10 20

Area           SAMPLE.BRANDNEW
Path           $NODE/files/fido/SAMPLE_BRANDNEW/
Desc           FidoNet file echoes
CreateFlag     flags/newfiles.flg
Group          A
SecurityWrite  100
AKA            2:9999/1
Links          10
