; no echoes here
