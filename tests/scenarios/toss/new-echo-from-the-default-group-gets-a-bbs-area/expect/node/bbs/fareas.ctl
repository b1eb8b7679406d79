; The BBS's file areas
[FileArea]
Name          "sample.файлы"
DLPath        files/fido/files/
;

; Added by Brenmoor
[FileArea]
Name          "SAMPLE.DIFFS"
DLPath        $NODE/files/fido/SAMPLE_DIFFS/
FileList      $NODE/files/fido/SAMPLE_DIFFS/files.bbs
ULPath        $NODE/files/fido/SAMPLE_DIFFS/
Scan_NewFiles Yes
DL_Security   10
UL_Security   10
List_Security 10
Show_Security 10
Group         FileEchoes
;
