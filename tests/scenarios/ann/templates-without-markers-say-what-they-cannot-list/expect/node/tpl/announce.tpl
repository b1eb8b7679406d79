New files of @DATE
[begin]
== @FILEECHO******
[Begin2]
@FILE_______ @FSl****** @DESC****
[END]
@ALLFILES files, @ALLSIZE bytes
