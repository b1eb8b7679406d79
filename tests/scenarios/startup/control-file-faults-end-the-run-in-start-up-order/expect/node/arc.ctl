; no Archiver line
Signature 0,504B0304
