utf-8 text
﻿Area           SAMPLE.NODELIST
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

Area           SAMPLE.FRESH
Path           $NODE/files/fido/SAMPLE_FRESH/
Desc           Fresh files of the sample net
CreateFlag     flags/newfiles.flg
Group          A
SecurityWrite  100
AKA            2:9999/1
Links          10

Area           SAMPLE.NEW
Path           files/fido/SAMPLE_NEW/
Desc           A new echo of the uplink
CreateFlag     flags/newfiles.flg
Group          A
SecurityWrite  100
AKA            2:9999/1
Links          10 20
