// Script placeholders: every context a placeholder can stand in, run by the real bash and
// python3 with hostile file names; the value must come back byte for byte and run nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>

#include "commands/scripts/placeholders.h"
#include "platform/process_runner.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

// Names a downloaded file could have. Payloads create PWNED in the working folder.
const std::vector<std::string> kHostileNames{
    "x$(touch PWNED).jpg",
    "`touch PWNED`",
    "';touch PWNED;'",
    "{__import__('os').system('touch PWNED')}",
    "it's",
    "say \"hi\" \\\"",
    "back\\slash\\",
    "two\nlines\n\tEOF\n$()",
    "  spaced  out ",
    "-n",
    "\xff\xfe.bin",
    "$HOME ${HOME} $'\\x41'",
    "wow!! !$",
    "{a,b};|&<>*?[x]~#",
    "\xc3\xa9 \xe6\xbc\xa2\xe5\xad\x97 \xed\xa0\x80",
    "\x01\x7f\r",
};

// One snippet per context; each prints its value(s) and the runs are told apart by a NUL
// written after every snippet. In `expected`, "@rfname" and "@rpath" stand for the values.
struct Case {
    std::string snippet;
    std::string expected;
};

const std::vector<Case> kShellCases{
    {"printf %s @rfname", "@rfname"},
    {"printf %s \"@rfname\"", "@rfname"},
    {"printf %s '@rfname'", "@rfname"},
    {"printf %s $'@rfname'", "@rfname"},
    {"printf %s a@rfname\"b\"'c'$'d'", "a@rfnamebcd"},
    {"printf %s \"@rpos/@rfname\"@rpath", "@rpath@rpath"},
    {"printf %s \"$(printf '%s.' @rfname)\"", "@rfname."},
    {"printf %s \"`printf '%s.' \"@rfname\"`\"", "@rfname."},
    {"x=`printf '%s.' @rfname`; printf %s \"$x\"", "@rfname."},
    {"cat <<EOF\n@rfname\nEOF", "@rfname\n"},
    {"cat <<-EOF\n\t@rfname\n\tEOF", "@rfname\n"},
    {"cat <<'EOF'\nA @rfname\nEOF", "A @rfname\n"},
    {"h=H; printf %s \"$h@rfname\" ${u:-@rfname}", "H@rfname@rfname"},
    {"h=H; cat <<EOF\n$h@rfname $(printf %s @rfname)\nEOF", "H@rfname @rfname\n"},
    {"printf %s \"$(case @rext in *) printf %s @rfname;; esac)\"", "@rfname"},
    {"# @rfname\nprintf %s @rfname # @rfname \"", "@rfname"},
    {"[ -f @rpath ] && [ -f \"@rpos/@rfname\" ] && printf ok", "ok"},
    {"printf %s \"$(a=(x @rfname); printf %s \"${a[1]}\")\"", "@rfname"},
};

// The word of "${x:-...}" in "..." or a here-document: bash pairs single quotes there but
// keeps them, and brace-expands a "..." nested there, so names holding ' or { are refused
// (see ExpandedTextAndRefusals).
const std::vector<Case> kShellBraceCases{
    {"printf %s \"${u:-@rfname}\" \"${u:-\"@rfname\"}\"", "@rfname@rfname"},
    {"cat <<EOF\n${u:-@rfname}\nEOF", "@rfname\n"},
};

const std::vector<Case> kPythonCases{
    {"w(@rfname)", "@rfname"},
    {"w('@rfname' + \"@rfname\")", "@rfname@rfname"},
    {"w('''@rfname''' + \"\"\"\n@rfname\"\"\")", "@rfname\n@rfname"},
    {"w(r'a\\d@rfname' + R\"\"\"@rfname\"\"\")", "a\\d@rfname@rfname"},
    {"w(f'{1}@rfname{{}}' + F\"{@rfname}\" + rf'{2}@rfname')", "1@rfname{}@rfname2@rfname"},
    {"sys.stdout.buffer.write(b'@rfname' + Rb\"@rfname\")", "@rfname@rfname"},
    {"w(u'@rpos/@rfname') # @rfname '", "@rpath"},
    {"w(str(os.path.isfile(@rpath) and os.path.isfile('@rpos/' + f'{@rfname}')))", "True"},
};

std::string filled(std::string text, const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    for (const auto& [placeholder, value] :
         {std::pair{"@rfname", name}, std::pair{"@rpath", path}}) {
        for (std::size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + value.size())) {
            text.replace(at, std::string_view(placeholder).size(), value);
        }
    }
    return text;
}

class Placeholders : public SandboxTest {
  protected:
    // Expands the cases for every hostile name, runs all of them as one program (starting
    // an interpreter per name is slow) and checks what each case printed.
    void expectExactValues(const std::vector<Case>& cases, ScriptLanguage language,
                           const std::vector<std::string>& names = kHostileNames) {
        const bool shell = language == ScriptLanguage::Shell;
        std::string script = shell ? ""
                                   : "import os, sys\n"
                                     "def w(s):\n"
                                     "    sys.stdout.buffer.write(os.fsencode(s))\n";
        for (const Case& c : cases) {
            script +=
                c.snippet + (shell ? "\nprintf '\\0'\n" : "\nsys.stdout.buffer.write(b'\\0')\n");
        }
        std::string program;
        std::vector<std::string> expected;
        for (const std::string& name : names) {
            const std::string path = files().write(name).string();
            const std::optional<std::string> text =
                expandScriptPlaceholders(script, path, language);
            ASSERT_TRUE(text) << testing::PrintToString(name);
            program += *text;
            for (const Case& c : cases) {
                expected.push_back(filled(c.expected, path));
            }
        }
        const fs::path cwd = files().mkdir(shell ? "bash" : "python");
        ProcessRequest request;
        request.argv = {shell ? "/bin/bash" : "python3", "-c", program};
        request.workingDirectory = cwd.string();
        const ProcessResult result = PosixProcessRunner().run(request);
        EXPECT_TRUE(result.succeeded()) << result.err;
        EXPECT_FALSE(fs::exists(cwd / "PWNED"));
        std::vector<std::string> printed;
        for (std::size_t start = 0, nul; (nul = result.out.find('\0', start)) != std::string::npos;
             start = nul + 1) {
            printed.push_back(result.out.substr(start, nul - start));
        }
        ASSERT_EQ(printed.size(), expected.size()) << program;
        for (std::size_t k = 0; k < printed.size(); ++k) {
            EXPECT_EQ(printed[k], expected[k])
                << testing::PrintToString(names[k / cases.size()]) << " in "
                << testing::PrintToString(cases[k % cases.size()].snippet);
        }
    }
};

TEST_F(Placeholders, BashGetsEveryHostileNameBackExactlyInEveryContext) {
    expectExactValues(kShellCases, ScriptLanguage::Shell);
}

TEST_F(Placeholders, BashGetsNamesWithoutQuoteOrBraceBackInBraceWordsInDoubleQuotes) {
    std::vector<std::string> names;
    std::copy_if(
        kHostileNames.begin(), kHostileNames.end(), std::back_inserter(names),
        [](const std::string& name) { return name.find_first_of("'{") == std::string::npos; });
    expectExactValues(kShellBraceCases, ScriptLanguage::Shell, names);
}

TEST_F(Placeholders, PythonGetsEveryHostileNameBackExactlyInEveryContext) {
    expectExactValues(kPythonCases, ScriptLanguage::Python);
}

// Broken scripts where bash once read a context other than the one the expansion assumed
// (heredoc operators inside ${...}, "$(" after "${#", a redirection to a file named case,
// line continuations, bash going on after a syntax error in name=(...)). Whatever bash
// makes of them, the name must not run.
TEST_F(Placeholders, ScriptsThatOnceMisledTheLexerRunNothing) {
    const std::vector<std::string> names{
        "n'b\"c$(touch PWNED)`touch PWNED`;touch PWNED\nEOF\ntouch PWNED\n)}|touch PWNED #\\",
        "a'b\"c\\d$(touch PWNED)`touch PWNED`;touch PWNED)}|&touch PWNED #{x}' ",
    };
    const std::vector<std::string> scripts{
        "${u#$h<<EOF\necho  \"$h{  ;; esac|<( @rname",
        "${u:-@rname@rname<<EOF\n)@rname\nQ\n`$echo ${u:",
        "a=(a=(@rname$h@rname\n",
        "\\\na=(; done; do @rname}$a=(@rname))",
        "\\\n<<<${#\\\n$\\\n(<<\\\nEOF\n)((${# @rname",
        "echo ${u:a[<<-EOF\n\t; done$h$<<'Q'\n; } ]]<<-EOF\n\t$(< @rname",
        "echo ${u#\t\"$(<>case x in x) x$; } @rname",
        "\"$(a=(@rname@rname\n",
        "<<\\\nEOF\n ]](($[$(]! @rname@rname<>)${u#(($((",
    };
    const fs::path cwd = files().mkdir("broken");
    for (const std::string& name : names) {
        for (const std::string& script : scripts) {
            const std::optional<std::string> text = expandScriptPlaceholders(
                script, (files().path() / name).string(), ScriptLanguage::Shell);
            if (!text) {
                continue;
            }
            ProcessRequest request;
            request.argv = {"/bin/bash", "-c", *text};
            request.workingDirectory = cwd.string();
            PosixProcessRunner().run(request);
            EXPECT_FALSE(fs::exists(cwd / "PWNED")) << testing::PrintToString(script);
            fs::remove(cwd / "PWNED");
        }
    }
}

// The exact text produced, and the places where no exact text exists.
TEST(PlaceholderText, ExpandedTextAndRefusals) {
    constexpr auto sh = ScriptLanguage::Shell;
    constexpr auto py = ScriptLanguage::Python;
    const std::optional<std::string> refused;
    const struct {
        ScriptLanguage language;
        std::string script;
        std::string path;
        std::optional<std::string> text;
    } cases[] = {
        {sh, "mkdir @rpos/@rname", "/d/it's.tar.gz", "mkdir '/d'/'it'\"'\"'s'"},
        {sh, "echo \"@rname\" '@rext' $'@rname'", "/d/$a'.X",
         "echo \"\\$a'\" 'x' $'''$a'\"'\"''$''"},
        // Comments, escaped placeholders and "$@" stay as written.
        {sh, "echo \\@rname \"$@rname\" # @rname", "/d/a", "echo \\@rname \"$@rname\" # @rname"},
        // Bash evaluates arithmetic text, quoted or not: only numbers go in.
        {sh, "echo $(( @rname * 2 )) ${x:@rname}", "/d/12.txt", "echo $(( 12 * 2 )) ${x:12}"},
        {sh, "echo $[1] @rname", "/d/x", refused},
        {sh, "echo $(( @rname * 2 ))", "/d/a[$(touch PWNED)].txt", refused},
        {sh, "a[@rname]=1", "/d/x.y", refused},
        {sh, "echo a[@rname]", "/d/x.y", refused},
        {sh, "a=(@rname [1]=\"@rext\" # @rname\n)", "/d/x y.Z", "a=('x y' [1]=\"z\" # @rname\n)"},
        {sh, "a=(x; @rname)", "/d/x", refused},
        {sh, "a=(\\' @rname)", "/d/x", refused},
        // Bash drops backslash-newline first, except after an escaping backslash.
        {sh, "a\\\n=(x; @rname)", "/d/x", refused},
        {sh, "echo \"$\\\n(echo @rname)\"", "/d/a b", "echo \"$\\\n(echo 'a b')\""},
        {sh, "cat <<EOF; echo \\\\\n@rname\nEOF", "/d/$x", "cat <<EOF; echo \\\\\n\\$x\nEOF"},
        {sh, "echo $(( $(wc -l < @rpath) + a[1] ))", "/d/a b",
         "echo $(( $(wc -l < '/d/a b') + a[1] ))"},
        // The built-in "Copy File (Folder) Name".
        {sh, "echo @rfname | trackfolio-sync pasteboard", "/d/$(touch PWNED)",
         "echo '$(touch PWNED)' | trackfolio-sync pasteboard"},
        {sh, "echo \"${u:-@rname}\"", "/d/a}\"$", "echo \"${u:-a\\}\\\"\\$}\""},
        {sh, "echo \"${u:-@rname}\"", "/d/it's", refused},
        {sh, "echo \"${u:-\"@rname\"}\"", "/d/{a,b}", refused},
        {sh, "((@rname))", "/d/1 + 1", refused},
        // A line of the value that would end the document early.
        {sh, "cat <<EOF\n@rname\nEOF", "/d/EOF", refused},
        {sh, "cat <<'EOF'\nx@rname\nEOF", "/d/a\nEOF\ntouch PWNED", refused},
        {sh, "cat <<-'EOF'\n@rname\nEOF", "/d/a\n\tb", refused},
        {sh, "cat <<EOF\n@rname\nEOF", "/d/a\nEOF", "cat <<EOF\na\n$()EOF\nEOF"},
        {py, "print(@rname) # @rname", "/d/a b.c", "print('a b') # @rname"},
        {py, "f@rname", "/d/{x}", "f '{x}'"},
        {py, "print(f'{\"@rname\"}')", "/d/plain", "print(f'{\"plain\"}')"},
        {py, "print(f'{\"@rname\"}')", "/d/it's", refused},
        {py, "open(@rfname)", "/d/\xff\n", "open('\\udcff\\n')"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(expandScriptPlaceholders(c.script, c.path, c.language), c.text)
            << testing::PrintToString(c.script) << " " << testing::PrintToString(c.path);
    }
}

}  // namespace
}  // namespace tf::test
