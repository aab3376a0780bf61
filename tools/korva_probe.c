/*
 * korva_probe: loads KORVA_VB6.dll by name, the way a Visual Basic 6 program
 * does, and prints first which file that is (its path, file version,
 * SourceCommit, SHA-256 and whether it carries an Authenticode signature),
 * then what each of its platform probes answers on this machine, with what
 * the answer means, in one table.  It changes nothing: file-system
 * redirection is switched off and at once back on for its own thread only.
 *
 * Exit status: 0 when every probe could be asked; 1 when the module cannot be
 * loaded or lacks one of the probes.  A fact about the file that cannot be
 * read is reported on its own line and changes neither.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

typedef int (WINAPI *probe_fn)(void);
typedef int (WINAPI *disable_fn)(void **old);
typedef int (WINAPI *revert_fn)(void *old);

static HMODULE module;

static void *bind_probe(const char *name)
{
    void *p = (void *)GetProcAddress(module, name);
    if (!p) {
        printf("KORVA_VB6.dll has no %s: an old or damaged module\n", name);
        exit(1);
    }
    return p;
}

/* --- SHA-256 (FIPS 180-4), self-contained: CryptoAPI's SHA-256 provider is
 * missing from Windows 2000 and XP before SP3, where this tool must run. --- */
struct sha256 {
    unsigned long h[8];
    unsigned char block[64];
    unsigned long long length; /* bytes hashed so far */
    unsigned used;             /* bytes waiting in block */
};

static const unsigned long sha256_k[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

#define ROR32(x, n) ((((x) >> (n)) | ((x) << (32 - (n)))) & 0xffffffffUL)

static void sha256_block(struct sha256 *s, const unsigned char *p)
{
    unsigned long w[64], a, b, c, d, e, f, g, h, t1, t2;
    int i;
    for (i = 0; i < 16; i++)
        w[i] = (unsigned long)p[4 * i] << 24 | (unsigned long)p[4 * i + 1] << 16 |
               (unsigned long)p[4 * i + 2] << 8 | p[4 * i + 3];
    for (i = 16; i < 64; i++) {
        unsigned long s0 = ROR32(w[i - 15], 7) ^ ROR32(w[i - 15], 18) ^ (w[i - 15] >> 3);
        unsigned long s1 = ROR32(w[i - 2], 17) ^ ROR32(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = (w[i - 16] + s0 + w[i - 7] + s1) & 0xffffffffUL;
    }
    a = s->h[0]; b = s->h[1]; c = s->h[2]; d = s->h[3];
    e = s->h[4]; f = s->h[5]; g = s->h[6]; h = s->h[7];
    for (i = 0; i < 64; i++) {
        t1 = h + (ROR32(e, 6) ^ ROR32(e, 11) ^ ROR32(e, 25)) + ((e & f) ^ (~e & g)) + sha256_k[i] + w[i];
        t2 = (ROR32(a, 2) ^ ROR32(a, 13) ^ ROR32(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g; g = f; f = e; e = (d + t1) & 0xffffffffUL;
        d = c; c = b; b = a; a = (t1 + t2) & 0xffffffffUL;
    }
    s->h[0] += a; s->h[1] += b; s->h[2] += c; s->h[3] += d;
    s->h[4] += e; s->h[5] += f; s->h[6] += g; s->h[7] += h;
    for (i = 0; i < 8; i++) s->h[i] &= 0xffffffffUL;
}

static void sha256_init(struct sha256 *s)
{
    static const unsigned long iv[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(s->h, iv, sizeof(iv));
    s->length = 0;
    s->used = 0;
}

static void sha256_add(struct sha256 *s, const unsigned char *p, size_t n)
{
    s->length += n;
    while (n) {
        size_t take = 64 - s->used < n ? 64 - s->used : n;
        memcpy(s->block + s->used, p, take);
        s->used += (unsigned)take;
        p += take;
        n -= take;
        if (s->used == 64) {
            sha256_block(s, s->block);
            s->used = 0;
        }
    }
}

/* Finishes the hash and writes it as 64 lower-case hex digits and a NUL. */
static void sha256_hex(struct sha256 *s, char out[65])
{
    unsigned long long bits = s->length * 8;
    unsigned char pad = 0x80, len[8];
    int i;
    sha256_add(s, &pad, 1);
    pad = 0;
    while (s->used != 56) sha256_add(s, &pad, 1);
    for (i = 0; i < 8; i++) len[i] = (unsigned char)(bits >> (56 - 8 * i));
    sha256_add(s, len, 8);
    for (i = 0; i < 32; i++)
        sprintf(out + 2 * i, "%02x", (unsigned)(s->h[i / 4] >> (24 - 8 * (i % 4))) & 0xff);
}

/* --- which file was loaded -------------------------------------------------- */

/* The fixed file version and the SourceCommit string of the version resource. */
static void print_version(const char *path)
{
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
    char *info;
    VS_FIXEDFILEINFO *fixed = NULL;
    char *commit = NULL;
    UINT len = 0;

    if (!size || !(info = malloc(size))) {
        printf("file version: none (no version resource, error %lu)\n", GetLastError());
        printf("SourceCommit: none (no version resource)\n");
        return;
    }
    if (!GetFileVersionInfoA(path, 0, size, info)) {
        printf("file version: cannot be read (error %lu)\n", GetLastError());
        printf("SourceCommit: cannot be read\n");
        free(info);
        return;
    }
    if (VerQueryValueA(info, "\\", (void **)&fixed, &len) && fixed && len >= sizeof(*fixed) &&
        fixed->dwSignature == 0xFEEF04BD)
        printf("file version: %lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xffff,
               fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xffff);
    else
        printf("file version: none (the version resource has no fixed file information)\n");
    /* printed no further than the length the resource gives */
    if (VerQueryValueA(info, "\\StringFileInfo\\040904B0\\SourceCommit", (void **)&commit, &len) && commit &&
        len > 0 && commit[0])
        printf("SourceCommit: %.*s\n", (int)len, commit);
    else
        printf("SourceCommit: none (the version resource names no commit)\n");
    free(info);
}

/* Whether the image's security directory, the place of an Authenticode
 * signature, is filled in: no trust decision.  head holds the file's first
 * head_len bytes, size is the file's length.  IMAGE_DOS_HEADER.e_lfanew leads
 * to "PE\0\0", the file header (20 bytes) and the optional header, whose data
 * directories start at 96 (PE32) or 112 (PE32+); the directory's address is a
 * file offset, not an RVA. */
static const char *signature(const unsigned char *head, DWORD head_len, DWORD size)
{
    DWORD pe, dirs, count, offset, length;
    WORD magic;

    if (head_len < 64 || head[0] != 'M' || head[1] != 'Z') return "unknown (not a PE image)";
    memcpy(&pe, head + 60, 4);
    if (pe > head_len - 26 || memcmp(head + pe, "PE\0\0", 4))
        return "unknown (no PE header at the start of the file)";
    magic = (WORD)(head[pe + 24] | head[pe + 25] << 8);
    dirs = magic == 0x20B ? 112 : 96;
    if ((magic != 0x10B && magic != 0x20B) || pe + 24 + dirs + 8 * (IMAGE_DIRECTORY_ENTRY_SECURITY + 1) > head_len)
        return "unknown (the optional header cannot be read)";
    memcpy(&count, head + pe + 24 + dirs - 4, 4); /* NumberOfRvaAndSizes */
    if (count <= IMAGE_DIRECTORY_ENTRY_SECURITY) return "none";
    memcpy(&offset, head + pe + 24 + dirs + 8 * IMAGE_DIRECTORY_ENTRY_SECURITY, 4);
    memcpy(&length, head + pe + 24 + dirs + 8 * IMAGE_DIRECTORY_ENTRY_SECURITY + 4, 4);
    if (!offset || !length) return "none";
    if (offset > size || length > size - offset)
        return "damaged (the security directory points past the end of the file)";
    return "Authenticode present (not verified here)";
}

/* The file's SHA-256 and whether it is signed, from one read of the file. */
static void print_hash_and_signature(const char *path)
{
    static unsigned char buf[65536];
    unsigned char head[4096];
    DWORD got, head_len = 0, size = 0;
    struct sha256 s;
    char hex[65];
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);

    if (f == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        printf("SHA-256: cannot open the file (error %lu)\n", error);
        printf("signature: unknown (cannot open the file, error %lu)\n", error);
        return;
    }
    sha256_init(&s);
    for (;;) {
        if (!ReadFile(f, buf, sizeof(buf), &got, NULL)) {
            DWORD error = GetLastError();
            printf("SHA-256: cannot read the file (error %lu)\n", error);
            printf("signature: unknown (cannot read the file, error %lu)\n", error);
            CloseHandle(f);
            return;
        }
        if (!got) break;
        if (head_len < sizeof(head)) {
            DWORD take = got < sizeof(head) - head_len ? got : sizeof(head) - head_len;
            memcpy(head + head_len, buf, take);
            head_len += take;
        }
        /* a loaded DLL is far below 4 GB; the count only bounds the check */
        size = size + got < size ? 0xffffffffUL : size + got;
        sha256_add(&s, buf, got);
    }
    CloseHandle(f);
    sha256_hex(&s, hex);
    printf("SHA-256: %s\n", hex);
    printf("signature: %s\n", signature(head, head_len, size));
}

static void row(const char *probe, const char *export_name, const char *answer,
                const char *meaning)
{
    printf("%-22s %-32s %-6s %s\n", probe, export_name, answer, meaning);
}

static const char *view_name(int flag)
{
    switch (flag) {
    case 0: return "default view of this process";
    case KEY_WOW64_64KEY: return "KEY_WOW64_64KEY: 64-bit view";
    case KEY_WOW64_32KEY: return "KEY_WOW64_32KEY: 32-bit view";
    default: return "not a registry view flag";
    }
}

int main(void)
{
    char path[MAX_PATH], answer[16], meaning[160];
    probe_fn is_admin, is_wow64, vn35_64bit, korva_view, vn35_view;
    disable_fn disable;
    revert_fn revert;
    int admin, wow64, vn35, korva_flag, vn35_flag, off, on = 0;
    void *old = NULL;

    module = LoadLibraryA("KORVA_VB6.dll");
    if (!module) {
        printf("cannot load KORVA_VB6.dll (error %lu): is it, with KORVA.dll and libq47.dll, "
               "beside this program or on the PATH?\n", GetLastError());
        return 1;
    }
    /* which file this is comes first: it is shown even when a probe is missing */
    if (!GetModuleFileNameA(module, path, sizeof(path))) lstrcpyA(path, "KORVA_VB6.dll");
    path[sizeof(path) - 1] = 0; /* not terminated when cut short (Windows XP) */
    printf("KORVA_VB6.dll platform probes\n");
    printf("module: %s\n", path);
    print_version(path);
    print_hash_and_signature(path);
    printf("\n");
    fflush(stdout);

    is_admin = (probe_fn)bind_probe("KORVA_UTILS_ISUSERADMINISTRATOR");
    is_wow64 = (probe_fn)bind_probe("KORVA_IsWow64");
    disable = (disable_fn)bind_probe("KORVA_MyWow64Disable");
    revert = (revert_fn)bind_probe("KORVA_MyWow64Revert");
    vn35_64bit = (probe_fn)bind_probe("KORVA_isVN35_64Bit");
    korva_view = (probe_fn)bind_probe("GetKorvaRegSamViewFlag");
    vn35_view = (probe_fn)bind_probe("GetVn35RegSamViewFlag");

    row("probe", "export", "answer", "meaning");


    admin = is_admin();
    sprintf(answer, "%d", admin);
    row("Administrators member", "KORVA_UTILS_ISUSERADMINISTRATOR", answer,
        admin ? "the caller's token lists the local Administrators group"
              : "the local Administrators group is not in the caller's token (or it could not be read)");

    wow64 = is_wow64();
    sprintf(answer, "%d", wow64);
    row("WOW64", "KORVA_IsWow64", answer,
        wow64 ? "32-bit process on 64-bit Windows" : "not under WOW64: 32-bit Windows");

    off = disable(&old);
    if (off) on = revert(old);
    sprintf(answer, "%d/%d", off, on);
    row("System32 redirection", "KORVA_MyWow64Disable/Revert", answer,
        !off ? "cannot be switched off: not under WOW64"
        : on ? "switched off and back on"
             : "switched off but NOT back on: this thread's redirection stays off");

    vn35 = vn35_64bit();
    sprintf(answer, "%d", vn35);
    row("VN35 64-bit", "KORVA_isVN35_64Bit", answer,
        vn35 ? "KORVA.dll reports a current 64-bit VN35 installation"
             : "KORVA.dll reports no current 64-bit VN35 installation");

    korva_flag = korva_view();
    sprintf(answer, "0x%03x", (unsigned)korva_flag);
    sprintf(meaning, "%s (%s)", view_name(korva_flag),
            korva_flag ? "HKLM\\SOFTWARE\\Velmarcon\\KORVA not found in the default view"
                       : "HKLM\\SOFTWARE\\Velmarcon\\KORVA found in the default view");
    row("KORVA registry view", "GetKorvaRegSamViewFlag", answer, meaning);

    vn35_flag = vn35_view();
    sprintf(answer, "0x%03x", (unsigned)vn35_flag);
    sprintf(meaning, "%s (%s)", view_name(vn35_flag),
            vn35_flag == KEY_WOW64_64KEY ? "64-bit VN35 under WOW64"
            : vn35_flag == KEY_WOW64_32KEY ? "no 64-bit VN35, under WOW64"
                                           : "not under WOW64");
    row("VN35 registry view", "GetVn35RegSamViewFlag", answer, meaning);

    FreeLibrary(module);
    return 0;
}
