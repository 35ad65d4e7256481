// Resource identifiers of the plugin library.
#ifndef TOBRISK_RESOURCE_H
#define TOBRISK_RESOURCE_H

#define IDD_PREFS 101
#define IDB_TOBRISK 127

#endif
