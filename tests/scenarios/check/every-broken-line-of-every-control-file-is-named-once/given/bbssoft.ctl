; A keyword one letter short, a switch that is neither Yes nor No, and
; Windows paths with and without a drive.
TORNADO_SCAN_NEWFILE   Yes
TORNADO_SCAN_NEWFILES  Sometimes
MAXIMUS_AREA           C:\MAX\FILEAREA.CTL
UPLOAD                 d:/upload/
