; colors.ctl - colours of the hatch commander
;
; A colour is foreground + 16 x background, decimal or hexadecimal after
; "$": 0 black, 1 blue, 2 green, 3 cyan, 4 red, 5 magenta, 6 brown,
; 7 light grey, 8 dark grey, 9 light blue, 10 light green, 11 light cyan,
; 12 light red, 13 light magenta, 14 yellow, 15 white.
; $1F is white on blue, $30 black on cyan. A key not given is 0.
; The active panel shows its cursor bar and its title with text and
; background exchanged; with NO_COLOR set these are in reverse video.

FILEPANEL_PANEL        $1B     ; frame and background: light cyan on blue
FILEPANEL_NAME         $1E     ; column headings: yellow on blue
FILEPANEL_FILES        $1B     ; files
FILEPANEL_DIRS         $1F     ; directories: white on blue
FILEPANEL_CURSOR       $30     ; current entry: black on cyan
FILEPANEL_PATH         $3F     ; current directory: white on cyan
FILEPANEL_FILEINFOSTR  $1E     ; line about the current entry
FILEPANEL_FILEGROUP1   $1D     ; archives: light magenta
FILEPANEL_FILEGROUP2   $1A     ; programs: light green
FILEPANEL_FILEGROUP3   $17     ; texts: light grey
FILEPANEL_FILEGROUP4   $1E     ; pictures: yellow
FILEPANEL_FILEGROUP5   $19     ; sources: light blue
FILEPANEL_FILEGROUP6   $1C     ; TICs: light red
FILEPANEL_FILEGROUP7   $18     ; leftovers: dark grey
AREAPANEL_PANEL        $1B     ; frame and its title "File echoes"
AREAPANEL_NAME         $1E
AREAPANEL_AREANAME     $1F
AREAPANEL_CURSOR       $30
AREAPANEL_PATH         $1B     ; stored; nothing is drawn in it
AREAPANEL_AREAINFOSTR  $1E
AREAPANEL_WINHEADER    $3F     ; echo information window: white on cyan
AREAPANEL_WINCOLOR     $3E     ; its title: yellow on cyan
AREAPANEL_WINNAME      $30     ; field names: black on cyan
AREAPANEL_WINDESC      $3F     ; field values: white on cyan
PANEL_STATUSSTR        $30     ; key help line: black on cyan
