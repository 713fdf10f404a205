/* Numeric ids shared by the resource script and the Windows program. Plain
   preprocessor definitions, because windres reads this file too. The control
   ids of the three settings windows live in settings/dialog_ids.h. */
#ifndef TARNWICKISO_RESOURCE_IDS_H
#define TARNWICKISO_RESOURCE_IDS_H

/* Menu MAIN. */
#define CMD_REGISTER_FILE 256
#define CMD_REGISTER_DIRECTORY 257
#define CMD_CREATE_ISO 258
#define CMD_CREATE_RAW_ISO 259
#define CMD_ABORT 260
#define CMD_EXIT 261
#define CMD_DELETE 262
#define CMD_CLEAR 263
#define CMD_SHOW_VOLUME 264
#define CMD_SHOW_BOOT 265
#define CMD_SHOW_DIR_RECORD 266
#define CMD_SHOW_TOOL 267
#define CMD_HELP 268
#define CMD_ABOUT 269
#define CMD_FIRST 256
#define CMD_LAST 269

/* Main window. */
#define IDC_MAIN_LIST 128
#define IDC_MAIN_STATUS 129

/* Help and About windows. */
#define IDC_PROGRAM_ICON 127
#define IDC_PICTURE 128
#define IDC_HELP_TEXT 129
#define IDC_ABOUT_TEXT 129
#define IDC_ABOUT_OK 130

/* String table. */
#define IDS_PRODUCT 0
#define IDS_PLATFORM_80X86 100
#define IDS_PLATFORM_POWERPC 101
#define IDS_PLATFORM_MAC 102
#define IDS_MEDIA_CUSTOM 200
#define IDS_MEDIA_12 201
#define IDS_MEDIA_144 202
#define IDS_MEDIA_288 203
#define IDS_MEDIA_HARD_DISK 204
#define IDS_ESTIMATE 1000
#define IDS_STAGE_IDENTIFIERS 1001
#define IDS_STAGE_POSITIONS 1002
#define IDS_STAGE_OTHER 1003
#define IDS_STAGE_OUTPUT 1004

#endif
