/* The public export header stands alone as C11, warnings as errors, and each
 * declaration has the type a foreign-function caller would cast to. */
#include "kilna/kilna_exports.h"

typedef uint32_t(KILNA_CALL* BufferExport)(uint64_t, uint8_t*, uint32_t, uint32_t*);
typedef const char* (*ContextExport)(void);

int kilna_exports_header_c(void) {
  BufferExport finish = OrvDnsTraceFinish;
  ContextExport context = OrvGetUserContext;
  return finish != 0 && context != 0;
}
