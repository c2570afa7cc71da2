/* The numbers of the menu commands, dialogs and dialog controls. Plain
 * preprocessor definitions, because the Windows resource script (which only
 * understands those) includes this file as well as the C++ code: the numbers
 * are written down once. */
#ifndef KORU_FRONTEND_RESOURCE_IDS_H
#define KORU_FRONTEND_RESOURCE_IDS_H

/* Menu commands. */
#define KORU_CMD_SIZE1 150 /* to 153 for 4:1 */
#define KORU_CMD_SIZE2 151
#define KORU_CMD_SIZE3 152
#define KORU_CMD_SIZE4 153
#define KORU_CMD_SNAPSHOT 154
#define KORU_CMD_NEW 155
#define KORU_CMD_SETUP 156
#define KORU_CMD_QUIT 157
#define KORU_CMD_ABOUT 158
#define KORU_CMD_INFO 159
#define KORU_CMD_LOAD_STATE 160
#define KORU_CMD_SAVE_STATE 161

/* Dialogs. */
#define KORU_DIALOG_SETUP 143
#define KORU_DIALOG_ABOUT 144
#define KORU_DIALOG_INFO 145

/* Buttons every dialog shares. */
#define KORU_ID_OK 1
#define KORU_ID_CANCEL 2

/* Setup: scroll bars, whose labels are their id + 10. */
#define KORU_SETUP_UPDATE_PERIOD 100
#define KORU_SETUP_TIMER_PERIOD 101
#define KORU_SETUP_VOLUME 102
#define KORU_SETUP_BUFFERS 103
#define KORU_SETUP_RATE 104
#define KORU_SETUP_UPDATE_PERIOD_LABEL 110
#define KORU_SETUP_TIMER_PERIOD_LABEL 111
#define KORU_SETUP_VOLUME_LABEL 112
#define KORU_SETUP_BUFFERS_LABEL 113
#define KORU_SETUP_RATE_LABEL 114
/* Setup: check boxes, the edit field and the Reset button. */
#define KORU_SETUP_USE_DRUMS 119
#define KORU_SETUP_AUTOFIRE_A 120
#define KORU_SETUP_AUTOFIRE_B 121
#define KORU_SETUP_AUTOFIRE_L 122
#define KORU_SETUP_AUTOFIRE_R 123
#define KORU_SETUP_SLEEP 124
#define KORU_SETUP_MIDI 125
#define KORU_SETUP_LOG_SOUND 126
#define KORU_SETUP_CHECK_CRC 127
#define KORU_SETUP_CHANNEL1 134 /* to 137 for channel 4 */
#define KORU_SETUP_CHANNEL2 135
#define KORU_SETUP_CHANNEL3 136
#define KORU_SETUP_CHANNEL4 137
#define KORU_SETUP_LOG_FILE 140
#define KORU_SETUP_RESET 146

/* Cartridge Information. */
#define KORU_INFO_MAKER 170
#define KORU_INFO_CHECKSUM 171
#define KORU_INFO_COMPLEMENT 172
#define KORU_INFO_VERSION 173
#define KORU_INFO_TITLE 174
#define KORU_INFO_UNIT 175
#define KORU_INFO_DEVICE 176

/* About. */
#define KORU_ABOUT_CREDITS 180
#define KORU_ABOUT_COMPILED 181

#endif
