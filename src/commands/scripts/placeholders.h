// Placeholders of catalogue scripts, filled in per selected item.
//
// "@rpath" the item's path, "@rpos" its folder, "@rfname" its last component, "@rname" that
// component without any extension, "@rext" its last extension in lower case.
//
// A file name is data: whatever bytes it holds, the script receives exactly that text and
// never runs any of it. So a value is written in the form the script's language reads back
// verbatim where the placeholder stands, found by lexing the script text:
//
// Shell (bash -c)
//   unquoted                 one single-quoted word ('it'"'"'s'); next to other text it joins
//                            the same word, so "mkdir @rpos/@rname" makes one folder
//   inside "..." or $"..."   $ ` " \ escaped with a backslash
//   in "${x:-...}"           the same and } escaped; bash pairs single quotes there but
//                            keeps them, so a value holding one has no exact form (nor
//                            one holding "{" in a "..." nested there: brace expansion)
//   inside '...'             the quote is closed, the value quoted, the quote reopened
//   inside $'...'            the same, reopening with $'
//   unquoted here-document   $ ` \ escaped; "$()" after each newline of the value, so no
//                            line of it can end the document or lose leading tabs to <<-
//   quoted here-document     the value as it is (nothing is expanded there)
//   arithmetic ($((..)), ((..)), subscripts, ${x:offset})
//                            only a plain decimal number: bash evaluates that text, quotes
//                            or not, so anything else could run code
//   `...`                    the inner text is expanded as a script of its own and its
//                            backslashes, $ and ` (and " inside "...") are escaped again
//   comments, here-document delimiters, and a placeholder right after an escaping
//   backslash or a "$" (bash reads "$@" there) are left as written.
//
// Python (python3 -c)
//   outside literals         a str literal; bytes that are not UTF-8 come as \udcXX, the
//                            form os.fsdecode gives, so open() reaches the same file
//   in a str or f-string     escaped for that literal (f-strings also double the braces)
//   in a bytes literal       printable ASCII as is, every other byte as \xXX
//   in a raw literal         the literal is closed, an escaped literal of the same kind
//                            follows, and the literal reopens: adjacent literals join
//   in an f-string {field}   str().join(map(chr, [...])): no quote or backslash, which
//                            Python 3.11 forbids there
//   comments are left as written.
//
// When the exact value cannot be written where a placeholder stands (a name that is not a
// number in arithmetic, a line of the name that would end a quoted here-document, a quote in
// "${x:-...}", a literal nested in an f-string field that would need escapes), there is no
// text at all; nor for a shell script with a syntax error inside "name=(...)", after which
// bash resumes at the next line, wherever that falls, or with the old $[...] arithmetic.
// What the script then does with a value (eval, sh -c, os.system, arithmetic) is its own
// affair.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tf {

// Catalogue scripts of kind "sh" are bash source; every other kind is Python 3 source.
enum class ScriptLanguage { Shell, Python };
ScriptLanguage scriptLanguageFor(std::string_view ext);

bool hasScriptPlaceholder(std::string_view script);

// The script text for the item at `path`, or nothing when a value cannot be written
// exactly where one of its placeholders stands. Inserted values are not searched again.
std::optional<std::string> expandScriptPlaceholders(std::string_view script,
                                                    const std::string& path,
                                                    ScriptLanguage language);

}  // namespace tf
