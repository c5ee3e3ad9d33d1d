/* Whole-file replacement for databases opened by path: the old file stays intact until a
 * complete new one is on disk beside it, which then takes its name in one rename. */
#ifndef PRC_REPLACE_FILE_H
#define PRC_REPLACE_FILE_H

#include "prc_internal.h"

/* Checks that an existing path names a regular file this process may replace: it has a
 * write permission bit (also for root), opens for writing, and its folder takes new
 * files.  0, or -1. */
int prc_check_replaceable(const char *path);

/* Writes the database into a new file beside path, flushes it to disk and renames it over
 * path, keeping the old file's permission bits.  0, or -1 with path untouched. */
int prc_replace_file(const char *path, const prc_t *prc);

/* The containing folder of path ("." when it has none), newly allocated; NULL when out of memory.
 */
char *prc_folder_of(const char *path);

#endif
