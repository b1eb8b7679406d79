
; Added by Brenmoor
[FileArea]
Name          "SAMPLE.SOFT"
DLPath        $NODE/files/fido/soft/
FileList      $NODE/files/fido/soft/files.bbs
ULPath        $NODE/files/fido/soft/
Scan_NewFiles Yes
DL_Security   10
UL_Security   10
List_Security 10
Show_Security 10
Group         FileEchoes
;
