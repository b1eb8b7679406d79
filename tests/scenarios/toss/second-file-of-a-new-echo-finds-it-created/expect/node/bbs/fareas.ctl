
; Added by Brenmoor
[FileArea]
Name          "NEW.STUFF"
DLPath        $NODE/files/fido/NEW_STUFF/
FileList      $NODE/files/fido/NEW_STUFF/files.bbs
ULPath        $NODE/files/fido/NEW_STUFF/
Scan_NewFiles Yes
DL_Security   10
UL_Security   10
List_Security 10
Show_Security 10
Group         FileEchoes
;
