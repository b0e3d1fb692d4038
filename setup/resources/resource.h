/* Resource ids of InstallQvn.exe: the four page templates, their controls,
   the welcome banner, the program icon and the medium's list. Read by the resource compiler
   and by the page procedures alike, so only #define lines belong here. */
#ifndef QVN_RESOURCE_H
#define QVN_RESOURCE_H

/* Page 1000: welcome */
#define IDD_WELCOME          1000
#define IDC_WELCOME_BANNER   1001  /* static picture showing IDB_BANNER */
#define IDC_WELCOME_NEXT     1002
#define IDC_WELCOME_CANCEL   1003

/* Page 2000: licence agreement */
#define IDD_LICENSE          2000
#define IDC_LICENSE_PROMPT   2001  /* the fixed instruction line */
#define IDC_LICENSE_YES      2002
#define IDC_LICENSE_NO       2003
#define IDC_LICENSE_TEXT     2004  /* read-only edit box with the licence */

/* Page 3000: installation information */
#define IDD_INSTALL          3000
#define IDC_INSTALL_INSTALL  3001
#define IDC_INSTALL_CANCEL   3002
#define IDC_INSTALL_INFO     3003  /* the target folders text */
#define IDC_INSTALL_PROGRESS 3004  /* msctls_progress32 */

/* Page 4000: installation successful */
#define IDD_FINISH           4000
#define IDC_FINISH_FINISH    4001
#define IDC_FINISH_TEXT      4002  /* the read-first text */

/* Other resources */
#define IDB_BANNER           200   /* 595 x 230, 8 bits per pixel */
#define IDI_QVN              100   /* icon group of the program file */
#define IDR_MEDIUM_LIST      300   /* RCDATA: the medium's list (medlist.h) */

#endif
