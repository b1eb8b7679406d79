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
Links          10 20 30

Area           SAMPLE.SOFT
Path           files/fido/soft/
Desc           Software for the sample net
Group          A
SecurityWrite  100
AKA            2:9999/1
Links          2:9999/10 20 30

Area           SAMPLE.INFO
Path           files/fido/info/
Desc           Information files
CreateFlag     flags/newfiles.flg
Group          A
AKA            2:9999/1
Links          10 30

Area           SAMPLE.PASS
Desc           Pass-through echo of the uplink
Group          B
SecurityShow   10
SecurityRead   10
SecurityWrite  100
AKA            2:9999/1
Links          10 20 30

Area FULL.AREA
Path files/fido/full/
Group A
AKA 2:9999/1
Links 1001 1002 1003 1004 1005 1006 1007 1008 1009 1010 1011 1012 1013 1014 1015 1016 1017 1018 1019 1020 1021 1022 1023 1024 1025 1026 1027 1028 1029 1030 1031 1032 1033 1034 1035 1036 1037 1038 1039 1040 1041 1042 1043 1044 1045 1046 1047 1048 1049 1050
