#pragma once
// Resource ids shared by the module's resource script and its code.

// Note-taker model names: IDS_MODEL_NONE + model number (1..11).
#define IDS_MODEL_NONE          100
#define IDS_NOACCESS            128
// Result words of the device link.
#define IDS_ERR_PORTINIT        200
#define IDS_ERR_BADRESPONSE     201
#define IDS_ERR_TIMEDOUT        202
#define IDS_ERR_BADPARAM        203
#define IDS_ERR_MKDIR           204
#define IDS_ERR_UNKNOWN         205
#define IDS_ERR_INVALIDPATH     206
#define IDS_ERR_WRONGSTATE      207
#define IDS_ERR_CONNECTION      208
#define IDS_ERR_INTERNAL        209
#define IDS_ERR_CANCELED        210
#define IDS_ERR_WRONGPACKET     211
#define IDS_ERR_NOMEMORY        212
#define IDS_ERR_TALOLOCKED      214
#define IDS_ERR_LOCKED          215
#define IDS_ERR_INDEXFILE       216
#define IDS_ERR_UNSUPPORTED     217

// Shell namespace: the folder's name and tip, the help file, the view's accelerators.
#define IDS_FOLDER_NAME         8
#define IDS_FOLDER_INFOTIP      9
#define IDS_HELPFILE            222
#define IDA_VIEW                400
// The view: status bar texts and the list's column headers.
#define IDS_STATUS_FOLDER       1
#define IDS_COLUMN_NAME         3
#define IDS_COLUMN_SIZE         4
#define IDS_COLUMN_TYPE         5
#define IDS_COLUMN_MODIFIED     6
#define IDS_STATUS_SELECTED     7
// Transfer job, file operations and backup.
#define IDS_DEVICE_BACKINGUP    114
#define IDS_DEVICE_RESTORING    115
#define IDS_DEVICE_DELETING     116
#define IDS_DEVICE_OK           117
#define IDS_DEVICE_BACKUPDONE   118
#define IDS_DEVICE_RESTOREDONE  119
#define IDS_FAILED_FILES        120
#define IDS_LINE_SENT           121
#define IDS_LINE_RECEIVED       122
#define IDS_CONFIRM_DELETEBACKUP 123
#define IDS_TITLE_TRANSFERRING  124
#define IDS_LINE_SOURCE         126
#define IDS_LINE_DESTINATION    127
#define IDS_TITLE_RECEIVING     129
#define IDS_TITLE_SENDING       130
#define IDD_PROGRESS            1020
