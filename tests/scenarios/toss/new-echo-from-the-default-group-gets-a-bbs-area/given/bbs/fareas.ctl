; The BBS's file areas
[FileArea]
Name          "sample.файлы"
DLPath        files/fido/files/
;
