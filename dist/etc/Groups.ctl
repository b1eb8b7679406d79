; Groups.ctl - the groups of file echoes
;
; "Group" and a letter start a group (letter case matters). Its settings
; apply to echoes created for the group (by a link's TIC or by a forwarded
; subscription):
;   Path       parent directory of the new echoes' directories;
;              no Path: new echoes are pass-through
;   Comment    text of the group (new-echo notice, description)
;   NAFile     description list: tag, blanks, description, one a line
;   Flag       CreateFlag of new echoes
;   SecurityRead / SecurityWrite / SecurityShow  levels of new echoes
;   AKA        the node's address in new echoes
; Relative paths belong to /etc/brenmoor (the lists there are fine; the
; echoes' directories and flags belong under /var). "brenmoor check" reports
; an NAFile that does not exist and a letter given twice.

Group         A
Path          /var/spool/ftn/files/fido/
Comment       FidoNet file echoes
NAFile        lists/fido.na
Flag          /var/lib/brenmoor/newfiles.flg
SecurityRead  0
SecurityWrite 100
SecurityShow  0
AKA           2:9999/1

Group         B
Comment       Pass-through echoes
NAFile        lists/pass.na
SecurityRead  10
SecurityWrite 100
SecurityShow  10
AKA           2:9999/1
