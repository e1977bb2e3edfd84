/* The public record header is consumed by C callers too: this translation
 * unit keeps it compiling (and its layout checks holding) as C. */
#include "ovcg/ovcg_records.h"
