; A colour by name, below 0, and a hexadecimal one with a letter past F.
FILEPANEL_PANEL        $1B
FILEPANEL_NAME         blue
FILEPANEL_FILES        -1
FILEPANEL_DIRS         $1G
