/*
 * wexlib_dialogs.h - the control ids of the dialog templates in Wexlib.dll.
 *
 * The module holds nine classic dialog templates (type RT_DIALOG, language
 * 1033): ISU_ASKOPTION, ISU_FINISH, ISU_MULEDIT, ISU_PASSWORD, ISU_SELECT,
 * ISU_SELECTMUL, ISU_SHOWEDIT4, ISU_SHOWFOLDER and ISU_SHOWINFO. A setup
 * program finds a template by that name, shows it with its own dialog
 * procedure and addresses its controls by the ids below, which are fixed.
 * Which template holds which control: docs/reference.md.
 *
 * Plain C preprocessor lines only, so that a resource compiler can read the
 * file as well as a C or C++ compiler. Wexlib's own resource script takes
 * the ids from here.
 */
#ifndef WEXLIB_DIALOGS_H
#define WEXLIB_DIALOGS_H

#define IDC_NEXT 1           /* Next, or OK on the last page (the platform's IDOK) */
#define IDC_HIDDEN 2         /* a hidden button below the client area (IDCANCEL) */
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
#define IDC_PICTURE 1200     /* its text is a picture specifier for the setup program */
#define IDC_SEPARATOR 1300   /* the line above the navigation buttons */

#endif /* WEXLIB_DIALOGS_H */
