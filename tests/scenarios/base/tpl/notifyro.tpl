You sent the file @FILENAME into the file echo @FILEECHO, in which you
may not place files. The file was not tossed.
