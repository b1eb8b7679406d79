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
Links          2:9999/10 .1

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

Area           FIDO.NEWS
Path           files/fido/fido.news/
Desc           Fidonet news
Group          A
SecurityRead   0
AKA            2:9999/1
Links          10 20

Area           FIDO.SOFT
Path           files/fido/fido.soft/
Desc           Fidonet software
Group          A
SecurityRead   0
AKA            2:9999/1
Links          10 20

Area           fido.rules
Path           files/fido/fido.rules/
Desc           Rules, written in lower case
Group          A
SecurityRead   0
AKA            2:9999/1
Links          10 20

Area           FIDO.SECRET
Path           files/fido/fido.secret/
Desc           Coordinators only
Group          C
SecurityRead   0
AKA            2:9999/1
Links          10

Area           FIDO.HIGH
Path           files/fido/fido.high/
Desc           Needs level 50 to read
Group          A
SecurityRead   50
AKA            2:9999/1
Links          10

Area           SAMPLE.PICS
Path           files/fido/sample.pics/
Desc           Forbidden by NOTALLOW.CTL
Group          A
SecurityRead   0
AKA            2:9999/1
Links          10

Area           OTHER.AREA
Path           files/fido/other.area/
Desc           Matches no mask of the request
Group          A
SecurityRead   0
AKA            2:9999/1
Links          10
