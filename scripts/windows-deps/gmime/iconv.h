/* iconv for GMime on Windows: the static GLib carries these three
 * functions (its built-in Windows iconv, which uses the system's code
 * pages), so GMime links against them rather than a second iconv. */
#ifndef QUARROW_WIN_ICONV_H
#define QUARROW_WIN_ICONV_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *iconv_t;

iconv_t iconv_open(const char *tocode, const char *fromcode);
size_t iconv(iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf,
             size_t *outbytesleft);
int iconv_close(iconv_t cd);

#ifdef __cplusplus
}
#endif

#endif
