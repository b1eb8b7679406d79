utf-8 text
﻿; Links.ctl of the Brenmoor Test Node, edited with Vim (LF line ends; a BOM, and CR LF on lines pasted from Windows)

Link         2:9999/10     ; our Uplink, the Main Hub
AKA          2:9999/1
Password     UPLINKPW
CreateArea   Yes
PlusAll      Yes
; ask Kim before changing the groups
Group        AB
DefaultGroup A
Security     100
TicPacker    Zip           ; read by the Hub Tools Script
FilesSend    HOLD

! 2:9999/20  2:9999/1  DOWNPW  No No No  A - 10 DIRECT   ; Jan Tester's Point
TicPacker    Rar
; end of the links, updated 2026-12-01 by the SysOp
