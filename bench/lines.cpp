/* The benchmark inputs (see lines.h). */
#include "lines.h"

#include <stdio.h>
#include <string.h>

#include <initializer_list>

namespace {

const size_t field_len = 10;
const size_t mib = 1024 * 1024;

/* The i-th 10-byte field: letters and digits that change from field to
 * field, like the keys and amounts of an export row. */
std::string field(size_t i)
{
    char f[field_len + 1];
    static const char letters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";
    f[0] = letters[i % 24];
    f[1] = letters[(i / 24) % 24];
    f[2] = '-';
    size_t v = i * 2654435761u;
    for (size_t k = 3; k < field_len; k++, v /= 10) f[k] = (char)('0' + v % 10);
    return std::string(f, field_len);
}

/* A line of fields (quoted every other one when `quoted`), separated by
 * the delimiters in turn, stopping at `fields` fields or `bytes` bytes. */
bench_line fields_line(const char *id, const char *title, size_t fields, size_t bytes,
                       std::initializer_list<const char *> delims, bool quoted)
{
    bench_line l = {id, title, "", "", (int32_t)delims.size(), quoted, 0, true};
    for (const char *d : delims) l.delims.append(d, strlen(d) + 1);

    l.text.reserve(bytes + 16);
    const char *const *d = delims.begin();
    size_t before_sep = 0;
    for (size_t i = 0; i < fields; i++) {
        std::string f = field(i);
        if (quoted && i % 2) f = "\"" + f.substr(0, 4) + "," + f.substr(5, 3) + "\"";
        const char *sep = d[i % delims.size()];
        if (l.text.size() + f.size() + strlen(sep) > bytes) break;
        l.text += f;
        before_sep = l.text.size();
        l.text += sep;
        l.fields++;
    }
    /* the line ends with delimiter 0, as export rows do: no empty last token */
    l.text.resize(before_sep);
    l.text += d[0];
    return l;
}

} /* namespace */

bench_line make_line(const char *id)
{
    std::string which = id;
    const size_t any = (size_t)-1;
    if (which == "a")
        return fields_line("a", "1 MiB, 10-byte fields, ','", any, mib, {","}, false);
    if (which == "b")
        return fields_line("b", "1 MiB, 10-byte fields, ';' '::' ', '", any, mib,
                           {";", "::", ", "}, false);
    if (which == "c") {
        bench_line l = {"c", "64 bytes, 5 fields, ','", "ACCT-004217,Jensen Oy,2024-03-01,1250.00,EUR",
                        std::string(",\0", 2), 1, 0, 5, true};
        l.text.insert(l.text.find(",EUR"), 64 - l.text.size(), ' ');   /* a padded amount */
        return l;
    }
    if (which == "d")
        return fields_line("d", "1 MiB, quotes on, half the fields quoted", any, mib, {","}, true);
    if (which == "e")
        return fields_line("e", "1 M fields of 10 bytes, ','", 1 << 20, any, {","}, false);
    if (which == "f")
        return fields_line("f", "64 MiB, 10-byte fields, ','", any, 64 * mib, {","}, false);
    if (which == "10k")
        return fields_line("10k", "10 000 fields of 10 bytes, ','", 10000, any, {","}, false);
    return bench_line();
}

std::string show_time(double s)
{
    char buf[32];
    if (s <= 0) return "-";
    if (s < 1e-6) snprintf(buf, sizeof(buf), "%.0f ns", s * 1e9);
    else if (s < 1e-3) snprintf(buf, sizeof(buf), "%.1f us", s * 1e6);
    else snprintf(buf, sizeof(buf), "%.2f ms", s * 1e3);
    return buf;
}

std::string show_ratio(double num, double den)
{
    char buf[32];
    if (num <= 0 || den <= 0) return "-";
    snprintf(buf, sizeof(buf), "%.2fx", num / den);
    return buf;
}

std::string show_share(double num, double den)
{
    char buf[32];
    if (num <= 0 || den <= 0) return "-";
    snprintf(buf, sizeof(buf), "%.5f", num / den);
    return buf;
}
