// Marks printf-style functions so the compiler checks every format against its
// arguments, and rejects a format that is not a literal: user and server text
// must travel through "%s", never as the format itself.
#pragma once

#define VANTIS_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
