#pragma once
// Resource ids shared by the module's resource script and its code.

// Note-taker model names: IDS_MODEL_NONE + model number (1..11).
#define IDS_MODEL_NONE          100
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
#define IDS_ERR_SYSTEMNUMBER    240
#define IDS_ERR_BUSY            243
#define IDS_READING_DEVICE      244
#define IDS_LIST_RETRY          245
#define IDS_LEFT_OUT            261
#define IDS_ERR_PORTLOST        262
#define IDS_BAD_NEW_NAME        270
#define IDS_NAMESAKE_LEFT_OUT   271
#define IDS_ERR_NAMESAKE        250
#define IDS_ERR_NAMETAKEN       251
#define IDS_ERR_COPYMISSING     254
#define IDS_ERR_NOANSWER        255
#define IDS_ERR_NOANSWER_ON     256
// The Connection page's list of ports.
#define IDS_PORT_AUTO           257
#define IDS_PORT_LAST           258
#define IDS_PORT_ABSENT         259
#define IDS_ERR_FOLDERLOOP      260
#define IDS_ERR_NOFILESENT      280
#define IDS_ERR_SHORTFILE       281
#define IDS_ERR_PATHTOOLONG     284
// A paste or put over a taken device name, and two PC files that one device name would hold.
#define IDS_CONFIRM_REPLACE     282
#define IDS_SHARED_DEVICE_NAME  283
#define IDD_REPLACE             1280
#define IDC_REPLACE_TEXT        2280
#define IDC_REPLACE_ALL         2281

// Shell namespace: the folder's name and tip, the help file, the view's accelerators.
#define IDS_FOLDER_NAME         8
#define IDS_FOLDER_INFOTIP      9
#define IDS_HELPFILE            222
// The view: status bar texts and the list's column headers.
#define IDS_STATUS_FOLDER       1
#define IDS_COLUMN_NAME         3
#define IDS_COLUMN_SIZE         4
#define IDS_COLUMN_TYPE         5
#define IDS_COLUMN_MODIFIED     6
#define IDS_STATUS_SELECTED     7
// The one question before device items are deleted.
#define IDS_CONFIRM_DELETE      150
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
#define IDS_STOPPING            131
#define IDS_TITLE_SENDING       130
#define IDS_NOT_ATTEMPTED       241
#define IDS_CONFIRM_FOREIGNFOLDER 141
#define IDS_CONFIRM_RESTORE     142
#define IDS_BACKUP_NOTUPDATED   143
#define IDS_NAMESAKE_REASON     144
#define IDS_DEVICE_BACKUPPARTLY 145
#define IDS_CONFIRM_UPDATEMOVES 146
#define IDS_DEVICE_RESTOREPARTLY 147
#define IDD_PROGRESS            1030
// Settings sheet: its menu item (also the item's help string), caption, pages,
// help topics (one per page, in page order), the folder picker's texts.
#define IDS_PRODUCT_NAME        2
// The module's icon: the lowest id, so that it is icon 0 of the module (DefaultIcon "%MODULE%,0").
#define IDI_PELLOR              1
#define IDM_PROPERTIES          16
#define IDS_PICK_BACKUP         112
#define IDS_HELP_CONNECTION     218
#define IDS_HELP_PATHS          219
#define IDS_HELP_LOG            220
#define IDS_HELP_ADVANCED       221
#define IDA_PROPERTIES          417
#define IDM_PAGE_HELP           56
#define IDD_PAGE_CONNECTION     501
#define IDD_PAGE_PATHS          502
#define IDD_PAGE_LOG            503
#define IDD_PAGE_ADVANCED       504
#define IDR_PROPERTIES_MENU     1003
// Connection page.
#define IDC_PORT_GROUP          2001
#define IDC_PORT_LIST           2002
#define IDC_PORT_LABEL          2003
#define IDC_PORT_HINT           2004
// Paths page.
#define IDC_UNDER_MYDOCS        2007
#define IDC_BACKUP_GROUP        2010
#define IDC_BACKUP_LABEL        2011
#define IDC_BACKUP_PATH         2014
#define IDC_BACKUP_DEFAULT      2016
#define IDC_BACKUP_MOVE         2018
#define IDC_BACKUP_FIND         2020
// Log page.
#define IDC_LOG_ENABLE          2012
#define IDC_LOG_FILE            2013
#define IDC_LOG_FILE_LABEL      2015
#define IDC_LOG_SIZE            2017
#define IDC_LOG_SIZE_LABEL      2019
#define IDC_LOG_GROUP           2021
#define IDC_LOG_SIZE_SPIN       2022
#define IDC_LOG_RESET           2023
#define IDC_LOG_YMODEM          2030
#define IDC_LOG_COMPORT         2031
#define IDC_LOG_NOTETAKER       2032
// Advanced page.
#define IDC_TIMEOUT             2033
#define IDC_TIMEOUT_SPIN        2034
#define IDC_RETRIES             2035
#define IDC_RETRIES_SPIN        2036
#define IDC_TRANSFER_RETRIES    2037
#define IDC_TRANSFER_RETRIES_SPIN 2038
#define IDC_TIMEOUT_LABEL       2039
#define IDC_RETRIES_LABEL       2040
#define IDC_TRANSFER_RETRIES_LABEL 2041
#define IDC_INTEGRITY           2043

// The view's commands: one number is the menu item, accelerator, toolbar
// button and help string.
#define IDC_BACKUP              10
#define IDC_BACKUP_ALT          11
#define IDC_BACKUP_TO           12
#define IDC_RESTORE             13
#define IDC_RESTORE_ALT         14
#define IDC_RESTORE_FROM        15
#define IDC_LARGE_ICONS         20
#define IDC_SMALL_ICONS         21
#define IDC_LIST                22
#define IDC_DETAILS             23
#define IDS_ARRANGE_ICONS       24
#define IDC_BY_NAME             25
#define IDC_BY_SIZE             26
#define IDC_BY_TYPE             27
#define IDC_BY_DATE             28
#define IDC_AUTO_ARRANGE        29
#define IDC_LINE_UP             30
#define IDC_CUT                 40
#define IDC_COPY                41
#define IDC_PASTE               42
#define IDC_DELETE              43
#define IDC_RENAME              44
#define IDC_NEW_FOLDER          45
#define IDC_REFRESH             46
#define IDC_OPEN                47
#define IDC_SELECT_ALL          50
#define IDC_INVERT_SELECTION    51
#define IDC_SELECT_MASK         52
#define IDC_HELP_TOPICS         55
// Words for what the user asked and the product refused.
#define IDS_NAME_TOO_LONG       242
#define IDS_NAME_NOT_ANSI       246
// A move onto the device whose files the device lists at another size: the PC keeps them.
#define IDS_MOVE_KEPT           290
// The name a new folder takes, and the same with a number when that name is taken.
#define IDS_NEW_FOLDER          252
#define IDS_NEW_FOLDER_NUMBERED 253
// Folder picker title of Restore From (Backup To shares IDS_PICK_BACKUP).
#define IDS_PICK_RESTORE        113
// The view's menus and accelerators, and the Select by Mask dialog.
#define IDA_VIEW                400
#define IDM_HELP                416
#define IDD_MASK                500
#define IDM_PRODUCT             1000
#define IDM_VIEW                1001
#define IDM_EDIT                1002
// The context menu of the view's background: every command of the view.
#define IDM_BACKGROUND          1004
// The default verb of a folder item, above its other commands.
#define IDM_OPEN                1005
#define IDC_MASK_COMBO          2008
#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
