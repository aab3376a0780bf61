/*
 * The registry view flags and the VN35 query.  A flag is computed at the
 * first call and cached for the life of the process, so every scenario that
 * needs a first call runs in a fresh child of this program: a child_* test
 * function, which acts only when named on the command line and prints what it
 * saw as key=value lines for its parent to check.  The registry is set up
 * with the API, in both views, and cleaned up afterwards; the stand-in
 * KORVA.dll answers as its environment variables say.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "child_process.h"
#include "dll.h"
#include "import_patch.h"
#include "platform_env.h"
#include "threads.h"

using korva_test::show;

namespace {

decltype(&GetKorvaRegSamViewFlag) korva_flag;
decltype(&GetVn35RegSamViewFlag) vn35_flag;
decltype(&KORVA_isVN35_64Bit) vn35_64bit;

void bind()
{
    korva_flag = KORVA_BIND(GetKorvaRegSamViewFlag);
    vn35_flag = KORVA_BIND(GetVn35RegSamViewFlag);
    vn35_64bit = KORVA_BIND(KORVA_isVN35_64Bit);
}

std::string hex(long v)
{
    char buf[16];
    snprintf(buf, sizeof(buf), "%#lx", v);
    return buf;
}

/* ---- what a child sees of the module's registry and kernel32 calls ------ */

std::string opens;           /* "mask:result,..." for each RegOpenKeyExA */
int opened, closed, wow64_lookups;
bool refuse_first_open;

LONG WINAPI watched_reg_open(HKEY root, LPCSTR subkey, DWORD options, REGSAM sam, PHKEY key)
{
    LONG rc;
    if (refuse_first_open && opens.empty()) rc = ERROR_ACCESS_DENIED;
    else rc = RegOpenKeyExA(root, subkey, options, sam, key);
    if (root != HKEY_LOCAL_MACHINE || !subkey || strcmp(subkey, KORVA_PRODUCT_KEY))
        opens += "(other key)";
    opens += (opens.empty() || opens.back() == ',' ? "" : ",") + hex(sam) + ":" + std::to_string(rc);
    if (!rc) opened++;
    return rc;
}

LONG WINAPI watched_reg_close(HKEY key)
{
    closed++;
    return RegCloseKey(key);
}

FARPROC WINAPI watched_get_proc_address(HMODULE module, LPCSTR name)
{
    if ((reinterpret_cast<ULONG_PTR>(name) >> 16) && !strcmp(name, "IsWow64Process")) wow64_lookups++;
    return GetProcAddress(module, name);
}

struct watched_calls {
    import_patch open, close, lookup;
    watched_calls()
        : open(korva_module(), "ADVAPI32.dll", "RegOpenKeyExA", reinterpret_cast<void *>(&watched_reg_open)),
          close(korva_module(), "ADVAPI32.dll", "RegCloseKey", reinterpret_cast<void *>(&watched_reg_close)),
          lookup(korva_module(), "KERNEL32.dll", "GetProcAddress",
                 reinterpret_cast<void *>(&watched_get_proc_address))
    {
        if (!open.installed() || !close.installed() || !lookup.installed()) {
            printf("cannot watch the module's imports\n");
            exit(3);
        }
    }
};

/* The stand-in host's VN35 call log from call first on:
 * "selector:size:zero_filled,..." */
std::string host_calls(int first = 0)
{
    std::string out;
    int32_t selector, size, zero_filled;
    for (int i = first; standin_vn35_call(i, &selector, &size, &zero_filled) == 0; i++) {
        if (!out.empty()) out += ",";
        out += std::to_string(selector) + ":" + std::to_string(size) + ":" + std::to_string(zero_filled);
    }
    return out;
}

void put(const char *key, const std::string &value)
{
    printf("%s=%s\n", key, value.c_str());
}

void put(const char *key, long value)
{
    printf("%s=%ld\n", key, value);
}

void put_flag(const char *key, long value)
{
    printf("%s=%#lx\n", key, value);
}

std::string env(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}

/* ---- the parent's side ---------------------------------------------------- */

struct child_run {
    int rc;
    std::string out;
    child_run(const char *test, const std::vector<env_var> &vars) { rc = run_self(test, vars, &out); }
    long number(const char *key) const { return output_number(out, key); }
    std::string text(const char *key) const
    {
        std::string v;
        return output_value(out, key, &v) ? v : "(missing)";
    }
};

bool child_ok(const char *what, const child_run &child)
{
    return ok(child.rc == 0, "%s: child exited with %d:\n%s", what, child.rc, child.out.c_str());
}

} /* namespace */

/* ---- children ---------------------------------------------------------------- */

/* GetKorvaRegSamViewFlag twice, with KORVA_TEST_BETWEEN (create32, delete)
 * done to the product key in between; KORVA_TEST_REFUSE_FIRST_OPEN=1 makes
 * the module's first open of the key fail with error 5. */
TEST(child_korva_flag)
{
    if (!named_on_command_line()) return;
    bind();
    refuse_first_open = env("KORVA_TEST_REFUSE_FIRST_OPEN") == "1";
    watched_calls watch;

    put_flag("first", korva_flag());
    put("opens", opens);
    put("opened", opened);
    put("closed", closed);

    std::string between = env("KORVA_TEST_BETWEEN");
    if (between == "create32") product_key_create(KEY_WOW64_32KEY);
    else if (between == "delete") product_key_remove();

    opens.clear();
    opened = closed = 0;
    put_flag("second", korva_flag());
    put("opens_after", opens);
    put("closed_after", closed);
}

/* GetVn35RegSamViewFlag twice, the host's answers turned round in between. */
TEST(child_vn35_flag)
{
    if (!named_on_command_line()) return;
    bind();
    watched_calls watch;

    put_flag("first", vn35_flag());
    put("host", host_calls());
    put("wow64_lookups", wow64_lookups);

    int asked = standin_counter("vn35");
    wow64_lookups = 0;
    standin_set_vn35(!atoi(env("KORVA_STANDIN_VN35").c_str()), 0);
    put_flag("second", vn35_flag());
    put("host_after", host_calls(asked));
    put("wow64_lookups_after", wow64_lookups);
    put("registry_after", opens);
}

namespace {

enum { RACERS = 8 };
HANDLE start;
int racer_ids[RACERS] = {0, 1, 2, 3, 4, 5, 6, 7};
int32_t raced_korva[RACERS], raced_vn35[RACERS];

DWORD WINAPI racer(void *p)
{
    int i = *static_cast<int *>(p);
    WaitForSingleObject(start, INFINITE);
    if (i % 2) {
        raced_korva[i] = korva_flag();
        raced_vn35[i] = vn35_flag();
    } else {
        raced_vn35[i] = vn35_flag();
        raced_korva[i] = korva_flag();
    }
    return 0;
}

} /* namespace */

/* Both getters' first calls from eight threads let go at once. */
TEST(child_race)
{
    if (!named_on_command_line()) return;
    bind();
    start = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE threads[RACERS];
    if (start_threads(threads, RACERS, racer, racer_ids) != RACERS) put("threads", "not started");
    Sleep(20);
    SetEvent(start);
    WaitForMultipleObjects(RACERS, threads, TRUE, INFINITE);
    std::string korva, vn35;
    for (int i = 0; i < RACERS; i++) {
        CloseHandle(threads[i]);
        korva += (i ? "," : "") + hex(raced_korva[i]);
        vn35 += (i ? "," : "") + hex(raced_vn35[i]);
    }
    CloseHandle(start);
    put("korva", korva);
    put("vn35", vn35);
    put_flag("korva_later", korva_flag());
    put_flag("vn35_later", vn35_flag());
}

/* ---- tests ------------------------------------------------------------------- */

TEST(korva_flag_follows_the_product_key)
{
    bool win64 = system_is_64bit();
    static const struct {
        const char *name;
        REGSAM view;       /* 0: no key */
        long flag_w64, flag_w32;
    } cases[] = {
        {"no product key", 0, 0x200, 0x200},
        {"key in the 32-bit view only", KEY_WOW64_32KEY, 0, 0},
        /* 32-bit Windows has one view: the key is where the 32-bit view looks */
        {"key in the 64-bit view only", KEY_WOW64_64KEY, 0x200, 0},
    };
    for (const auto &c : cases) {
        product_key_scope scope;
        if (c.view && !ok(product_key_create(c.view), "%s: cannot create the key", c.name)) continue;
        if (c.view == KEY_WOW64_64KEY && win64)
            ok(!product_key_exists(KEY_WOW64_32KEY), "%s: the key shows in the 32-bit view", c.name);

        child_run child("child_korva_flag", {});
        if (!child_ok(c.name, child)) continue;
        long want = win64 ? c.flag_w64 : c.flag_w32;
        ok(child.number("first") == want, "%s: flag %#lx, want %#lx", c.name, child.number("first"), want);
        ok(child.number("second") == want, "%s: second call %#lx", c.name, child.number("second"));

        /* the default view first (mask KEY_QUERY_VALUE); on failure the
         * 32-bit view; every key opened is closed */
        std::string want_opens = want ? "0x1:2,0x201:2" : "0x1:0";
        ok(child.text("opens") == want_opens, "%s: opens %s, want %s", c.name, child.text("opens").c_str(),
           want_opens.c_str());
        ok(child.number("opened") == child.number("closed"), "%s: %ld keys opened, %ld closed", c.name,
           child.number("opened"), child.number("closed"));
    }
}

TEST(korva_flag_is_cached)
{
    {
        product_key_scope scope;
        child_run child("child_korva_flag", {{"KORVA_TEST_BETWEEN", "create32"}});
        if (child_ok("key created between the calls", child)) {
            ok(product_key_exists(KEY_WOW64_32KEY), "the child did not create the key");
            ok(child.number("first") == 0x200 && child.number("second") == 0x200,
               "key created between the calls: %#lx then %#lx", child.number("first"), child.number("second"));
            ok(child.text("opens_after").empty() && child.number("closed_after") == 0,
               "second call opened %s, closed %ld", child.text("opens_after").c_str(),
               child.number("closed_after"));
        }
    }
    {
        product_key_scope scope;
        product_key_create(KEY_WOW64_32KEY);
        child_run child("child_korva_flag", {{"KORVA_TEST_BETWEEN", "delete"}});
        if (child_ok("key deleted between the calls", child)) {
            ok(!product_key_exists(KEY_WOW64_32KEY), "the child did not delete the key");
            ok(child.number("first") == 0 && child.number("second") == 0,
               "key deleted between the calls: %#lx then %#lx", child.number("first"), child.number("second"));
            ok(child.text("opens_after").empty() && child.number("closed_after") == 0,
               "second call opened %s, closed %ld", child.text("opens_after").c_str(),
               child.number("closed_after"));
        }
    }
}

TEST(korva_flag_when_the_default_view_refuses)
{
    /* the first open fails for a reason other than absence, the second
     * succeeds: the flag is 0x200 all the same, and that key is closed */
    product_key_scope scope;
    if (!ok(product_key_create(KEY_WOW64_32KEY), "cannot create the key")) return;
    child_run child("child_korva_flag", {{"KORVA_TEST_REFUSE_FIRST_OPEN", "1"}});
    if (!child_ok("first open refused", child)) return;
    ok(child.number("first") == 0x200, "flag %#lx", child.number("first"));
    ok(child.text("opens") == "0x1:5,0x201:0", "opens %s", child.text("opens").c_str());
    ok(child.number("opened") == 1 && child.number("closed") == 1, "%ld keys opened, %ld closed",
       child.number("opened"), child.number("closed"));
}

TEST(vn35_flag_follows_the_host_and_wow64)
{
    bool win64 = system_is_64bit();
    static const struct {
        const char *sel1, *sel0;
        long flag_w64;
        const char *host;   /* the calls of the first computation */
    } cases[] = {
        {"1", "0", 0x100, "1:255:1"},
        {"0", "7", 0x200, "1:255:1,0:255:"},
        {"0", "0", 0x200, "1:255:1,0:255:"},
    };
    for (const auto &c : cases) {
        child_run child("child_vn35_flag", {{"KORVA_STANDIN_VN35", c.sel1}, {"KORVA_STANDIN_VN35_SEL0", c.sel0}});
        std::string name = std::string("host answers ") + c.sel1 + "/" + c.sel0;
        if (!child_ok(name.c_str(), child)) continue;

        long want = win64 ? c.flag_w64 : 0;
        ok(child.number("first") == want, "%s: flag %#lx, want %#lx", name.c_str(), child.number("first"), want);
        ok(child.number("second") == want, "%s: second call %#lx", name.c_str(), child.number("second"));
        /* the host is asked on 32-bit Windows too; the buffer offered is
         * zero-filled for the first question (the host may write into it).
         * Only a pure 32-bit prefix takes the branch that is not under
         * WOW64, so a getter that skips the host there fails only in that
         * prefix: under WOW64 the host's answer is needed anyway. */
        std::string host = child.text("host");
        ok(host.compare(0, strlen(c.host), c.host) == 0 && host.size() <= strlen(c.host) + 1,
           "%s: host asked %s, want %s", name.c_str(), host.c_str(), c.host);
        ok(child.number("wow64_lookups") == 1, "%s: IsWow64Process looked up %ld times", name.c_str(),
           child.number("wow64_lookups"));
        ok(child.text("host_after").empty() && child.number("wow64_lookups_after") == 0 &&
               child.text("registry_after").empty(),
           "%s: second call asked the host %s, looked up IsWow64Process %ld times, registry %s", name.c_str(),
           child.text("host_after").c_str(), child.number("wow64_lookups_after"),
           child.text("registry_after").c_str());
    }
}

TEST(vn35_64bit_asks_the_host)
{
    bind();
    static const struct {
        int32_t sel1, sel0, answer;
        const char *host;
    } cases[] = {
        {1, 0, 1, "1:255:1"},
        {-1, 0, 1, "1:255:1"},             /* any nonzero answer */
        {0x7fffffff, 5, 1, "1:255:1"},
        {0, 0, 0, "1:255:1,0:255:0"},      /* the host wrote its text in between */
        {0, 1, 0, "1:255:1,0:255:0"},      /* the second answer is not used */
    };
    for (const auto &c : cases) {
        standin_reset();
        standin_set_vn35(c.sel1, c.sel0);
        for (int round = 0; round < 2; round++) {   /* nothing cached */
            int asked = standin_counter("vn35");
            int32_t answer = vn35_64bit();
            ok(answer == c.answer, "host %d/%d: answer %d", c.sel1, c.sel0, answer);
            ok(host_calls(asked) == c.host, "host %d/%d: asked %s, want %s", c.sel1, c.sel0,
               host_calls(asked).c_str(), c.host);
        }
    }
    standin_reset();
}

TEST(first_calls_race)
{
    bool win64 = system_is_64bit();
    product_key_scope scope;
    std::string korva_want, vn35_want;
    for (int i = 0; i < RACERS; i++) {
        korva_want += (i ? "," : "") + hex(0x200);
        vn35_want += (i ? "," : "") + hex(win64 ? 0x100 : 0);
    }
    for (int run = 0; run < 5; run++) {
        child_run child("child_race", {{"KORVA_STANDIN_VN35", "1"}});
        if (!child_ok("race", child)) return;
        ok(child.text("korva") == korva_want, "run %d: korva flags %s", run, child.text("korva").c_str());
        ok(child.text("vn35") == vn35_want, "run %d: vn35 flags %s", run, child.text("vn35").c_str());
        ok(child.number("korva_later") == 0x200 && child.number("vn35_later") == (win64 ? 0x100 : 0),
           "run %d: later calls %#lx %#lx", run, child.number("korva_later"), child.number("vn35_later"));
    }
}
