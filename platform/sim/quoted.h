// Bytes as C source would write them, in double quotes: the one text form of
// bytes in the simulator's call record, and in the platform contract's output
// on either side (Windows's too, so no standard header).
#ifndef ZOVOVAR_SIM_QUOTED_H
#define ZOVOVAR_SIM_QUOTED_H

// Writes count bytes quoted into out (size bytes, with its zero), as many as
// fit; returns the length written.
inline unsigned QuoteInto(char *out, unsigned size, const char *bytes, unsigned count)
{
    static const char digits[] = "0123456789ABCDEF";
    unsigned n = 0;
    out[n++] = '"';
    for (unsigned i = 0; i < count && n + 6 < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n' || c == '\r' || c == '"') {
            out[n++] = '\\';
            out[n++] = c == '"' ? '"' : c == '\n' ? 'n' : 'r';
        } else if (c < 0x20 || c >= 0x7F) {
            out[n++] = '\\';
            out[n++] = 'x';
            out[n++] = digits[c >> 4];
            out[n++] = digits[c & 15];
        } else {
            out[n++] = static_cast<char>(c);
        }
    }
    out[n++] = '"';
    out[n] = '\0';
    return n;
}

#endif
