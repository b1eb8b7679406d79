; arc.ctl - archivers: how to recognise an archive and take file_id.diz out
;
; Archiver     name; starts an archiver
; Signature    offset,bytes: the offset (hexadecimal) where the signature
;              stands, then its bytes as hexadecimal digit pairs
; ExtractFile  command extracting one file: %A the archive, %F the file
;              (file_id.diz), %T the target directory (ends in "/")
; AddFile      command adding a file (%A archive, %F file)
; The program of a command is looked up as given, then on PATH; its output
; is discarded. Commands keep their letter case. The name of the extracted
; file may be in any letter case (FILE_ID.DIZ is found too).

; Debian: unzip and zip
Archiver     ZIP
Signature    0,504B0304
ExtractFile  unzip -o -qq -j -C %A %F -d %T
AddFile      zip -q -j %A %F

; Debian: p7zip-full ("-ssc-": names match in any letter case)
Archiver     7Z
Signature    0,377ABCAF271C
ExtractFile  7z e -y -bd -ssc- %A -o%T %F
AddFile      7z a -y -bd %A %F

; Debian: unrar (non-free); remove the ";" once it is installed
;Archiver     RAR
;Signature    0,526172211A07
;ExtractFile  unrar e -o+ -inul -cl %A %F %T
;AddFile      rar a -inul %A %F
