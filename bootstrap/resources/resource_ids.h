/* Ids of the extractor's resources, shared by its resource script and its code. */
#pragma once

/* String table, one block in language 1033 (entries 0 to 15). */
#define IDS_PACKAGE_TITLE 0
#define IDS_FATAL_ERROR 1
#define IDS_NO_TEMP_FOLDER 2
#define IDS_NO_RUNTIME 3
#define IDS_CORRUPT_PACKAGE 4
#define IDS_WIZARD_LABEL 5

/* The icon group is found by its name, MAINICON; the manifest and version record are id 1. */
#define IDR_MANIFEST 1
#define IDR_VERSION 1
