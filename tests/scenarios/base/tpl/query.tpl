File echoes of 2:9999/1 you are subscribed to

@F******************** @G @D***************************************

Send -ECHO to unsubscribe.
