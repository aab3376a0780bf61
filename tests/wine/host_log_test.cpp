/* Log forwarding: what reaches the host's diagnostic log, read back from
 * the stand-in KORVA.dll. */
#include <string.h>

#include <string>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "dll.h"
#include "host_records.h"

using korva_test::show;

namespace {

decltype(&KernelDebugLog) debug_log;
decltype(&KernelDebugLogEx) debug_log_ex;

void bind()
{
    debug_log = KORVA_BIND(KernelDebugLog);
    debug_log_ex = KORVA_BIND(KernelDebugLogEx);
    standin_reset();
}

} /* namespace */

TEST(kernel_debug_log)
{
    bind();
    debug_log("x=%d", 5);
    debug_log("%s|%5.2f|%-4s|%x|%c", "str", 3.14159, "ab", 255, 'Z');
    debug_log("no conversions");

    if (!ok(standin_record_count() == 3, "%d records", standin_record_count())) return;
    const char *want[] = {"x=5", "str| 3.14|ab  |ff|Z", "no conversions"};
    for (int i = 0; i < 3; i++) {
        host_record r = read_record(i);
        ok(r.area == "KERNEL_DEBUG" && r.msgno == 122030, "record %d: area %s number %d", i,
           r.area.c_str(), r.msgno);
        ok(r.text == want[i], "record %d: text %s", i, show(r.text.c_str()).c_str());
        ok(r.block_ok, "record %d: client block not filled for this send", i);
    }
    ok(standin_counter("initblk") == 3 && standin_counter("diaglog") == 3,
       "initblk %d, diaglog %d: one fill per send", standin_counter("initblk"), standin_counter("diaglog"));
    ok(standin_counter("logstate") == 0, "the log state was consulted %d times", standin_counter("logstate"));
}

TEST(kernel_debug_log_ex)
{
    bind();
    debug_log_ex("MYAREA", 7, "done");
    debug_log_ex("", -1, "%s=%d", "neg", -42);
    host_record r = read_record(0);
    ok(r.area == "MYAREA" && r.msgno == 7 && r.text == "done" && r.block_ok,
       "record 0: %s %d %s block %d", r.area.c_str(), r.msgno, r.text.c_str(), r.block_ok);
    r = read_record(1);
    ok(r.area == "" && r.msgno == -1 && r.text == "neg=-42", "record 1: %s %d %s", r.area.c_str(),
       r.msgno, r.text.c_str());
    ok(standin_counter("logstate") == 0, "the log state was consulted");
}

TEST(long_messages_are_cut_and_terminated)
{
    bind();
    std::string m600(600, 'a'), m3000(3000, 'b');
    for (size_t i = 0; i < m600.size(); i++) m600[i] = (char)('a' + i % 26);

    std::string m511(511, 'c'), m512(512, 'd');
    /* each cut text is terminated by the module, not by what its stack held */
    dirty_the_stack();
    debug_log("%s", m600.c_str());
    dirty_the_stack();
    debug_log_ex("AREA", 1, "%s", m600.c_str());
    dirty_the_stack();
    debug_log_ex("AREA", 2, "%s", m3000.c_str());
    dirty_the_stack();
    debug_log("%s", m511.c_str());
    dirty_the_stack();
    debug_log("%s", m512.c_str());

    if (!ok(standin_record_count() == 5, "%d records", standin_record_count())) return;
    host_record r = read_record(0);
    ok(r.text == m600.substr(0, 511), "KernelDebugLog 600: got %u chars", (unsigned)r.text.size());
    r = read_record(1);
    ok(r.text == m600, "KernelDebugLogEx 600: got %u chars", (unsigned)r.text.size());
    r = read_record(2);
    ok(r.text == m3000.substr(0, 2055), "KernelDebugLogEx 3000: got %u chars", (unsigned)r.text.size());
    r = read_record(3);
    ok(r.text == std::string(511, 'c'), "511 fits: got %u chars", (unsigned)r.text.size());
    r = read_record(4);
    ok(r.text == std::string(511, 'd'), "512 is cut: got %u chars", (unsigned)r.text.size());
}

TEST(null_format_or_area_sends_nothing)
{
    bind();
    debug_log(NULL);
    debug_log_ex(NULL, 1, "x");
    debug_log_ex("AREA", 1, NULL);
    ok(standin_record_count() == 0 && standin_counter("initblk") == 0,
       "%d records, %d fills", standin_record_count(), standin_counter("initblk"));
}
