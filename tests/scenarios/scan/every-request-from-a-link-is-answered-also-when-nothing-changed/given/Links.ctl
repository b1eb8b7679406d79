; Links.ctl - the node's links
;
; Keyword form: "Link" and the address start a link; the lines after it set
; its fields up to the next link. Table form: one line per link starting
; with "!", then Address AKA Password CreateArea PlusAll Pause Group
; DefaultGroup Security FilesSend; "-" means no password / no default group.
; Both forms may be mixed. The file is read in upper case; the robot
; rewrites a link's entry on %PAUSE and %RESUME (backup: links.old).
;
; FilesSend  DIRECT or HOLD: the flavour of files and TICs for the link.
; Group      letters of the groups whose echoes the link may use.
; DefaultGroup  group of echoes created by the link's TICs.

Link         2:9999/10
AKA          2:9999/1
Password     UPLINKPW
CreateArea   Yes
PlusAll      Yes
Group        AB
DefaultGroup A
Security     100
FilesSend    HOLD

! 2:9999/20 2:9999/1 DOWNPW No No No A - 10 DIRECT
! 2:9999/30 2:9999/1 HUBPW No Yes No AB - 20 HOLD
