// Programs written in the subset that C and the script language share (the
// folder c_subset): each was compiled by the system C++ compiler when the tests
// were built; here it is compiled by the script compiler and run, and both must
// print the same text.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "Compiler.h"
#include "Format.h"
#include "HostCall.h"
#include "Instance.h"

namespace {

std::string g_printed;

// print(char* format, ...), as `zedi run` offers it, into g_printed.
int Print(const char* format, scVarArgs args) {
    std::string error;
    std::vector<char> out(65536);
    int n = scFormat(out.data(), out.size(), format, args, &error);
    if (n < 0) throw std::runtime_error(error);
    g_printed += out.data();
    return n;
}

// sprintf(char* buffer, char* format, ...) into the script's buffer.
int Sprintf(scVmAddr buffer, const char* format, scVarArgs args) {
    std::string error;
    std::vector<char> out(65536);
    int n = scFormat(out.data(), out.size(), format, args, &error);
    if (n < 0) throw std::runtime_error(error);
    uint8_t* to = zedi::VmSpace::Get().Check(buffer.value, uint32_t(n) + 1);
    if (!to) throw std::runtime_error("Access violation");
    std::memcpy(to, out.data(), size_t(n) + 1);
    return n;
}

std::vector<std::string> Programs() {
    std::vector<std::string> names;
    if (DIR* d = opendir(ZEDI_C_SUBSET)) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 3 && n.compare(n.size() - 3, 3, ".sc") == 0) names.push_back(n.substr(0, n.size() - 3));
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What the program built by the C++ compiler prints; `status` its exit status.
std::string RunNative(const std::string& name, int& status) {
    std::string path = std::string(ZEDI_C_SUBSET_BIN) + "/" + name;
    std::string out;
    FILE* p = popen(("'" + path + "' 2>&1").c_str(), "r");
    if (!p) {
        status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    status = pclose(p);
    return out;
}

// What the script compiler's image of the program prints; `error` why it failed.
std::string RunScript(const std::string& name, std::string& error) {
    static const bool registered = [] {
        scRegister_Host_Symbol("print", Print);
        scRegister_Host_Symbol("sprintf", Sprintf);
        return true;
    }();
    (void)registered;
    g_printed.clear();
    // "print.h" is included by a path relative to the working folder.
    if (chdir(ZEDI_C_SUBSET) != 0) {
        error = "cannot enter " ZEDI_C_SUBSET;
        return {};
    }
    scScript image = scCompile_File((name + ".sc").c_str());
    if (!image) {
        error = std::string("compile error: ") + scLast_Error_Text;
        return {};
    }
    scInstance* inst = scCreate_Instance(image);
    if (inst) {
        zedi::ClearError();
        scVCall_Instance(inst, scGet_Symbol(inst, "main"), 0, nullptr);
        if (scLast_Error) error = std::string("runtime error: ") + scLast_Error_Text;
        scFree_Instance(inst);
    } else {
        error = std::string("cannot create an instance: ") + scLast_Error_Text;
    }
    std::free(image);
    return g_printed;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// A line diff of the two outputs: "-" lines only g++'s program printed, "+"
// lines only the script printed, two lines of context around each change.
std::string Diff(const std::string& expected, const std::string& got) {
    std::vector<std::string> a = Lines(expected), b = Lines(got);
    size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    std::vector<std::pair<char, std::string>> edits;
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) edits.push_back({' ', a[i++]}), j++;
        else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) edits.push_back({'+', b[j++]});
        else edits.push_back({'-', a[i++]});
    }
    std::string out = "--- printed by the program g++ compiled\n+++ printed by the script\n";
    size_t shownUpTo = 0;
    for (size_t k = 0; k < edits.size(); k++) {
        if (edits[k].first == ' ') continue;
        size_t from = k >= 2 ? k - 2 : 0;
        if (from < shownUpTo) from = shownUpTo;
        else if (from > shownUpTo) out += "...\n";
        size_t to = std::min(edits.size(), k + 3);
        while (to < edits.size() && edits[to - 1].first != ' ') to++;
        for (size_t x = from; x < to; x++) out += edits[x].first + std::string(" ") + edits[x].second + "\n";
        shownUpTo = to;
        k = to - 1;
    }
    return out;
}

class ScriptAndGxx : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptAndGxx, PrintTheSame) {
    int status = 0;
    std::string expected = RunNative(GetParam(), status);
    ASSERT_EQ(status, 0) << "the program g++ compiled failed:\n" << expected;
    ASSERT_FALSE(expected.empty());
    std::string error;
    std::string got = RunScript(GetParam(), error);
    EXPECT_EQ(error, "");
    if (got != expected) ADD_FAILURE() << GetParam() << ".sc prints differently:\n" << Diff(expected, got);
}

INSTANTIATE_TEST_SUITE_P(CommonSubset, ScriptAndGxx, ::testing::ValuesIn(Programs()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
