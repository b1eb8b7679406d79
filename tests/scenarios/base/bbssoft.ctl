; bbssoft.ctl - keep a BBS's file-area list up to date
;
; When the toss stores a file in an echo that has a directory and the BBS's
; area file does not list the echo yet, an area definition is appended.
; Nothing is done while neither MAXIMUS_AREA nor TORNADO_AREA is set; the
; later of the two in this file wins. Relative paths belong to the program
; directory.
;
; Maximus:
;   MAXIMUS_AREA  path of the filearea.ctl to extend
;   MAXIMUS_ACS   access control string of new areas
; Tornado:
;   TORNADO_AREA            path of the file-area configuration
;   TORNADO_SCAN_NEWFILES   Yes/No
;   TORNADO_DL_SECURITY, TORNADO_UL_SECURITY, TORNADO_LIST_SECURITY,
;   TORNADO_SHOW_SECURITY   security levels of new areas
;   GROUP                   group of new areas
; Both:
;   UPLOAD        upload directory of new areas; empty: the echo's own

;MAXIMUS_AREA          bbs/filearea.ctl
;MAXIMUS_ACS           Normal
;TORNADO_AREA          bbs/fareas.ctl
TORNADO_SCAN_NEWFILES  Yes
TORNADO_DL_SECURITY    10
TORNADO_UL_SECURITY    10
TORNADO_LIST_SECURITY  10
TORNADO_SHOW_SECURITY  10
GROUP                  FileEchoes
;UPLOAD                files/upload/
