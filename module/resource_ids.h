/* The resource ids Kestra.rc and the code share. Plain #defines in C form: the
   resource compiler reads this file too. */
#ifndef KESTRA_MODULE_RESOURCE_IDS_H
#define KESTRA_MODULE_RESOURCE_IDS_H

/* The type library; LoadTypeLibEx on the library's path finds it as TYPELIB 1. */
#define IDR_TYPELIB 1

/* The project name in the string table. */
#define IDS_PROJECT_NAME 100

/* The classes' registry scripts (REGISTRY resources), named by the object map. */
#define IDR_LOOKUP_SCRIPT 102
#define IDR_LIST_SCRIPT 103
#define IDR_LISTENTRIES_SCRIPT 104

#endif
