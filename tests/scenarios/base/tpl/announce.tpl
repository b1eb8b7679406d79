New files of 2:9999/1 received @DATE
Written @CURDATE @CURTIME by Brenmoor @VERSION
[BEGIN]

 File echo @FILEECHO***************  @COMMENT*******************************
 ----------------------------------------------------------------------------
[BEGIN2]
 @FILE_______ @FSr****** @DESC************************************************
              from @ORIGIN************ via @FROM***************
[END2]
[END]

 @ALLFILES files, @ALLSIZE bytes
