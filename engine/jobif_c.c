/* The job interface's header is consumed by C callers too: this translation
 * unit keeps it compiling as C. */
#include "ovcg/ovcg_jobif.h"
