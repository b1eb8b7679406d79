Archiver PROBE
Signature 0,50524F4245
ExtractFile $NODE/probe %A %T
