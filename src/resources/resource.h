/* The control ids of the setup dialogs: the host addresses the controls by
 * them, so they are fixed. Shared by wexlib.rc, the host and the tests, and
 * kept plain C for the resource compiler. */
#ifndef WEXLIB_RESOURCE_H
#define WEXLIB_RESOURCE_H

#define IDC_NEXT 1           /* Next, or OK on the last page */
#define IDC_HIDDEN 2         /* a hidden button below the client area */
#define IDC_CANCEL 9
#define IDC_BACK 12
#define IDC_SELECT_ALL 100
#define IDC_CLEAR_ALL 101
#define IDC_EDIT1 301        /* edit fields */
#define IDC_EDIT2 302
#define IDC_EDIT3 303
#define IDC_EDIT4 304
#define IDC_LIST 401
#define IDC_CHECK1 501       /* check boxes */
#define IDC_CHECK2 502
#define IDC_CHECK3 503
#define IDC_CHECK4 504
#define IDC_CHECK5 505
#define IDC_CHECK6 506
#define IDC_TEXT1 710        /* texts */
#define IDC_TEXT2 711
#define IDC_TEXT3 712
#define IDC_LABEL1 719       /* field labels */
#define IDC_LABEL2 720
#define IDC_LABEL3 721
#define IDC_LABEL4 722
#define IDC_PICTURE 1200     /* its text is a picture specifier for the host */
#define IDC_SEPARATOR 1300

#endif /* WEXLIB_RESOURCE_H */
