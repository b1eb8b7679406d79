File echoes our uplinks offer

@F******************** @G @D***************************************

Send +ECHO to have it ordered from the uplink.
