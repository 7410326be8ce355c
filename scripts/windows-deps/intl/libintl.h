/* The gettext family for a Windows build of GLib that ships no message
 * catalogues: every function gives back the message it was given (the
 * singular or plural form by the count), so GLib links without a real
 * libintl and without its build downloading one. */
#ifndef QUARROW_STUB_LIBINTL_H
#define QUARROW_STUB_LIBINTL_H

#include <locale.h>

/* The Windows C library has no LC_MESSAGES; GNU libintl uses the same
 * value for it there. */
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif

/* format_arg tells the compiler that a translation keeps the argument's
 * printf format, as GLib's -Werror=format-nonliteral needs. */
#if defined(__GNUC__)
#define QUARROW_INTL_FORMAT(n) __attribute__((__format_arg__(n)))
#else
#define QUARROW_INTL_FORMAT(n)
#endif

#ifdef __cplusplus
extern "C" {
#endif

char *gettext(const char *msgid) QUARROW_INTL_FORMAT(1);
char *dgettext(const char *domain, const char *msgid) QUARROW_INTL_FORMAT(2);
char *dcgettext(const char *domain, const char *msgid, int category)
    QUARROW_INTL_FORMAT(2);
char *ngettext(const char *msgid, const char *msgid_plural, unsigned long n)
    QUARROW_INTL_FORMAT(1) QUARROW_INTL_FORMAT(2);
char *dngettext(const char *domain, const char *msgid, const char *msgid_plural,
                unsigned long n) QUARROW_INTL_FORMAT(2) QUARROW_INTL_FORMAT(3);
char *dcngettext(const char *domain, const char *msgid, const char *msgid_plural,
                 unsigned long n, int category)
    QUARROW_INTL_FORMAT(2) QUARROW_INTL_FORMAT(3);
char *textdomain(const char *domain);
char *bindtextdomain(const char *domain, const char *dirname);
char *bind_textdomain_codeset(const char *domain, const char *codeset);

#ifdef __cplusplus
}
#endif

#endif
