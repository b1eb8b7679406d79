utf-8 text
﻿; areas.ctl of the Brenmoor Test Node, edited with Vim (LF line ends)
;
; Moderator and Replaces are read by our BBS Tools Script, not by Brenmoor.

Area   Sample.Nodelist      ; the Weekly Nodelist, straight from the Hub
Path   files/fido/nodelist  ; on the Big Disk
Desc   Weekly nodelist of the sample net
Moderator  Kim Sysop
Group  A
SecurityWrite 100
AKA    2:9999/1
Links  10 20   ; 20 left on 2026-11-30, may come back
Replaces   Yes

; the Software Echo: Jan Tester's Point is leaving it
area sample.soft
  Path files/fido/soft/
  Desc Software for the sample net
  Group A
  AKA 2:9999/1
  Links 2:9999/10 .1
  Moderator Uplink Sysop
; end of the list
