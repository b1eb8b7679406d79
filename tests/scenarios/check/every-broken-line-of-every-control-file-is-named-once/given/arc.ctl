; A signature before the first archiver, signatures without an offset,
; with a bad offset, with bytes that are not hexadecimal; command lines
; without their archive and directory; archivers without a signature or
; without a command line.
Signature    0,504B0304
Archiver     ZIP
Signature    0,504B0304
ExtractFile  unzip -o -qq -j -C %A %F -d %T
Extract      unzip %A %T

Archiver     7Z
Signature    377ABCAF271C
Signature    1G,377A
Signature    0,7Z
ExtractFile  7z e -y %F

Archiver     ARJ
ExtractFile  arj e %A %T

Archiver     RAR
Signature    0,52617221
