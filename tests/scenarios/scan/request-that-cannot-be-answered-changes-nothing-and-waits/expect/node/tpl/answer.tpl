Your request was handled as follows:

@STATECHOLIST

Send %HELP for the list of commands.
