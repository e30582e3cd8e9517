// New files from templates, "New File From Window", "Add to File Template", and the blank
// documents new office files start from.
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>

#include "cli/sync_cli.h"
#include "support/engine_fixture.h"
#include "support/mounts.h"
#include "util/resources.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

Dict templateEntry(const std::string& ext, Dict extra = {}) {
    Dict entry{{"key", ext}, {"ext", ext}, {"icon", ext}};
    for (auto& [key, value] : extra) {
        entry[key] = value;
    }
    return entry;
}

std::string blankBytes(const std::string& ext) {
    return readFile(dataFolder() / "templates" / ("Untitled." + ext));
}

bool anythingNamed(const fs::path& root, const std::string& part) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class NewFile : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        setMainList({{{"key", "New File"}}});
    }
    static void setTemplates(const std::vector<Dict>& entries) {
        Array list{Dict{{"key", "New File From Window"}, {"icon", "newfile"}}};
        for (const Dict& entry : entries) {
            list.emplace_back(entry);
        }
        setSetting("array new file", Value(std::move(list)));
    }
    // Opens the menu as the user would and chooses the child of "New File" with this key.
    void choose(const std::string& key, std::vector<std::string> selection,
                MenuKind kind = MenuKind::Items, std::string target = {}) {
        const MenuList menu = menuFor(kind, std::move(selection), std::move(target));
        const MenuNode* newFile = nodeWithKey(menu, "New File");
        ASSERT_NE(newFile, nullptr);
        ASSERT_TRUE(newFile->children);
        const MenuNode* child = nodeWithKey(*newFile->children, key);
        ASSERT_NE(child, nullptr) << key;
        ASSERT_TRUE(sync().activate(sync().menuId(), child->tag));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
    static std::vector<nlohmann::json> templateList() {
        std::vector<nlohmann::json> out;
        for (const RCMenuItem& item :
             RCMenuManager::sharedInstance().newFileTemplateMenuArray(true)) {
            out.push_back({{"key", item.key},
                           {"ext", item.ext},
                           {"displayName", item.displayName},
                           {"templatePath", item.templatePath},
                           {"fileName", item.fileName},
                           {"special", item.isSpecialFile}});
        }
        return out;
    }
};

// ---- From a template ---------------------------------------------------------------------

TEST_F(NewFile, LandsBesideTheSelectedFileOrInsideTheSelectedFolder) {
    setTemplates({templateEntry("txt")});
    const fs::path note = files().write("a/note.md", "x");
    choose("txt", {note.string()});
    EXPECT_TRUE(fs::is_regular_file(files().path() / "a" / "Untitled.txt"));

    const fs::path folder = files().mkdir("b");
    session();
    choose("txt", {folder.string()});
    EXPECT_TRUE(fs::is_regular_file(folder / "Untitled.txt"));
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(NewFile, TheBackgroundOfAFolderCreatesInThatFolder) {
    setTemplates({templateEntry("txt")});
    const fs::path folder = files().mkdir("shown");
    choose("txt", {}, MenuKind::Container, folder.string());
    EXPECT_TRUE(fs::is_regular_file(folder / "Untitled.txt"));
}

TEST_F(NewFile, AnExistingNameAsksKeepBothStopOrReplace) {
    setTemplates({templateEntry("txt")});
    const fs::path folder = files().mkdir("f");
    const fs::path existing = files().write("f/Untitled.txt", "old");

    session({{{"button", "Stop"}}});
    choose("txt", {folder.string()});
    EXPECT_EQ(readFile(existing), "old");
    EXPECT_FALSE(fs::exists(folder / "Untitled-1.txt"));
    const std::vector<nlohmann::json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["style"], "critical");
    EXPECT_EQ(alerts[0]["buttons"],
              nlohmann::json({localized("Keep Both"), localized("Stop"), localized("Replace")}));
    EXPECT_EQ(alerts[0]["informative"], localizedFormat("Same FileName Tip", {"Untitled.txt"}));

    session({{{"button", "Keep Both"}}});
    choose("txt", {folder.string()});
    EXPECT_EQ(readFile(existing), "old");
    EXPECT_TRUE(fs::is_regular_file(folder / "Untitled-1.txt"));

    session({{{"button", "Replace"}}});
    choose("txt", {folder.string()});
    EXPECT_EQ(readFile(existing), "");
    EXPECT_FALSE(fs::exists(folder / "Untitled-2.txt"));
}

TEST_F(NewFile, ReplacingOnAFullDiskKeepsTheOldFile) {
    const fs::path folder = files().path() / "disk";
    std::string why;
    const auto disk = ScopedMount::mount("tmpfs", folder, "tmpfs", 0, "size=1m", why);
    if (!disk) {
        GTEST_SKIP() << why;
    }
    const fs::path big = files().write("big.txt", std::string(3 << 20, 'n'));
    setTemplates({templateEntry("txt", {{"templatePath", big.string()}})});
    const fs::path existing = files().write("disk/Untitled.txt", "old");
    // From the menu, answered Replace; from the save panel, which has asked itself.
    session({{{"button", "Replace"}}, {{"button", 1}}, {{"save", existing.string()}}});
    choose("txt", {folder.string()});
    choose("New File From Window", {folder.string()});
    EXPECT_EQ(readFile(existing), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    const std::vector<nlohmann::json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[1]["informative"], alerts[2]["informative"]);
    EXPECT_EQ(alerts[2]["informative"], localized("Error Common Tip"));
}

TEST_F(NewFile, ASpecialFileKeepsItsNameAndAFileNameIsUsed) {
    setTemplates({templateEntry("gitignore", {{"fileName", ".gitignore"}, {"special", true}}),
                  templateEntry("md", {{"fileName", "README"}})});
    const fs::path folder = files().mkdir("repo");
    choose("gitignore", {folder.string()});
    choose("md", {folder.string()});
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".gitignore", "README.md"}));
}

TEST_F(NewFile, ContentComesFromTheTemplateElseTheBlankDocumentElseNothing) {
    const fs::path own = files().write("own/letter.txt", "Dear\n");
    setTemplates({templateEntry("docx"), templateEntry("md"),
                  templateEntry("txt", {{"templatePath", own.string()}}),
                  templateEntry("rtf", {{"templatePath", (files().path() / "gone").string()}})});
    const fs::path folder = files().mkdir("out");
    for (const char* key : {"docx", "md", "txt", "rtf"}) {
        choose(key, {folder.string()});
    }
    ASSERT_FALSE(blankBytes("docx").empty());
    EXPECT_EQ(readFile(folder / "Untitled.docx"), blankBytes("docx"));
    EXPECT_EQ(readFile(folder / "Untitled.md"), "");
    EXPECT_EQ(readFile(folder / "Untitled.txt"), "Dear\n");
    // A template whose file has gone still gives the user a (blank) file.
    ASSERT_TRUE(fs::is_regular_file(folder / "Untitled.rtf"));
    EXPECT_EQ(readFile(folder / "Untitled.rtf"), "");
}

TEST_F(NewFile, TheDefaultOpenDocumentTemplatesCreateRealBlankDocuments) {
    const fs::path folder = files().mkdir("odf");
    const MenuList menu = menuFor(MenuKind::Items, {folder.string()});
    std::vector<std::string> titles;
    for (const MenuNode& child : *nodeWithKey(menu, "New File")->children) {
        if (child.key == "odt" || child.key == "ods" || child.key == "odp") {
            titles.push_back(child.title);
        }
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"OpenDocument Text", "OpenDocument Spreadsheet",
                                                "OpenDocument Presentation"}));
    for (const char* ext : {"odt", "ods", "odp"}) {
        choose(ext, {folder.string()});
        const std::string bytes = readFile(folder / ("Untitled." + std::string(ext)));
        EXPECT_EQ(bytes, blankBytes(ext)) << ext;
        EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04") << ext;
        EXPECT_EQ(bytes.substr(30, 8), "mimetype") << ext;
    }
}

TEST_F(NewFile, NewFilesAreOpenedOnlyWhenTheUserAskedForIt) {
    setTemplates({templateEntry("txt")});
    const fs::path folder = files().mkdir("o");
    choose("txt", {folder.string()});
    EXPECT_TRUE(transcriptOf("open").empty());

    setSetting("open new file", Value(true));
    session({{{"button", "Keep Both"}}});
    choose("txt", {folder.string()});
    const std::vector<nlohmann::json> opened = transcriptOf("open");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]["path"], (folder / "Untitled-1.txt").string());
}

TEST_F(NewFile, ATemplateInTheTopLevelMenuCreatesLikeAChosenOne) {
    setMainList({{{"key", "quick-note"}, {"ext", "md"}, {"mainMenuNewFile", true}}});
    const fs::path folder = files().mkdir("top");
    const MenuList menu = menuFor(MenuKind::Items, {folder.string()});
    const MenuNode* entry = nodeWithKey(menu, "quick-note");
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(sync().activate(sync().menuId(), entry->tag));
    ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    EXPECT_TRUE(fs::is_regular_file(folder / "Untitled.md"));
}

TEST_F(NewFile, NamesThatLookLikeShellAreJustNames) {
    const std::string evil = "a\"; touch pwned; \"";
    setTemplates({templateEntry("txt", {{"fileName", evil}}),
                  templateEntry("md", {{"fileName", "$(touch pwned)"}}),
                  templateEntry("sh", {{"fileName", "../escape"}})});
    const fs::path folder = files().mkdir(evil);
    const fs::path inner = files().write(evil + "/`touch pwned`.log");
    setSetting("open new file", Value(true));
    choose("txt", {inner.string()});
    choose("md", {folder.string()});
    choose("sh", {folder.string()});
    EXPECT_TRUE(fs::is_regular_file(folder / (evil + ".txt")));
    EXPECT_TRUE(fs::is_regular_file(folder / "$(touch pwned).md"));
    // A name never leads out of the folder it is created in.
    EXPECT_TRUE(fs::is_regular_file(folder / ".._escape.sh"));
    EXPECT_FALSE(fs::exists(files().path() / "escape.sh"));
    EXPECT_FALSE(anythingNamed(home(), "pwned"));
    for (const auto& entry : fs::recursive_directory_iterator(files().path())) {
        EXPECT_NE(entry.path().filename(), "pwned");
    }
    EXPECT_TRUE(transcriptOf("process").empty());
    EXPECT_EQ(transcriptOf("open").size(), 3u);
}

TEST_F(NewFile, RunFromTheCommandLineCreatesTheFile) {
    setTemplates({templateEntry("txt")});
    const fs::path folder = files().mkdir("cli");
    const CliResult menu = runCli(&runSyncCommand, {"menu", "--json", folder.string()});
    ASSERT_EQ(menu.status, 0) << menu.err;
    std::int64_t tag = 0;
    for (const auto& entry : nlohmann::json::parse(menu.out)) {
        if (entry["key"] == "New File") {
            for (const auto& child : entry["children"]) {
                if (child["key"] == "txt") {
                    tag = child["tag"];
                }
            }
        }
    }
    ASSERT_NE(tag, 0);
    const CliResult r =
        runCli(&runSyncCommand, {"run", "--tag", std::to_string(tag), folder.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(folder / "Untitled.txt"));
}

// ---- New File From Window ----------------------------------------------------------------

TEST_F(NewFile, TheSavePanelOffersTheOrdinaryTemplatesAndCreatesTheChosenType) {
    setTemplates({templateEntry("txt"), templateEntry("docx"),
                  templateEntry("gitignore", {{"fileName", ".gitignore"}, {"special", true}}),
                  templateEntry("xml", {{"disabled", true}})});
    const fs::path folder = files().mkdir("w");
    const fs::path dest = files().mkdir("dest");
    session({{{"save", (dest / "notes").string()}, {"type", 1}}});
    choose("New File From Window", {folder.string()});

    const std::vector<nlohmann::json> panels = transcriptOf("save");
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0]["name"], localized("Untitled"));
    EXPECT_EQ(panels[0]["folder"], folder.string());
    // Special files have no type to offer; switched-off templates still do.
    EXPECT_EQ(panels[0]["typeList"],
              nlohmann::json({localized("txt") + " (.txt)", localized("docx") + " (.docx)",
                              localized("xml") + " (.xml)"}));
    EXPECT_EQ(panels[0]["allowedTypes"], nlohmann::json({"txt"}));
    EXPECT_EQ(readFile(dest / "notes.docx"), blankBytes("docx"));
}

TEST_F(NewFile, TheSavePanelKeepsATypedExtensionAndAsksBeforeLandingOnAnother) {
    setTemplates({templateEntry("txt")});
    const fs::path folder = files().mkdir("w");
    files().write("w/log.txt", "keep");
    session({{{"save", (folder / "Plan.TXT").string()}},
             {{"save", (folder / "log").string()}},
             {{"button", "Stop"}}});
    choose("New File From Window", {folder.string()});
    EXPECT_TRUE(fs::is_regular_file(folder / "Plan.TXT"));
    EXPECT_FALSE(fs::exists(folder / "Plan.TXT.txt"));

    choose("New File From Window", {folder.string()});
    EXPECT_EQ(readFile(folder / "log.txt"), "keep");
    EXPECT_EQ(transcriptOf("alert").size(), 1u);
}

TEST_F(NewFile, CancellingThePanelCreatesNothingAndAFailureIsReported) {
    setTemplates({templateEntry("txt")});
    const fs::path folder = files().mkdir("w");
    const fs::path notAFolder = files().write("w/plain", "x");
    session({{{"cancel", true}}, {{"save", (notAFolder / "inside").string()}}});
    choose("New File From Window", {folder.string()});
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_TRUE(transcriptOf("alert").empty());

    setSetting("open new file", Value(true));
    choose("New File From Window", {folder.string()});
    const std::vector<nlohmann::json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["informative"], localized("Error Common Tip"));
    EXPECT_TRUE(transcriptOf("open").empty());
}

TEST_F(NewFile, WithNothingSelectedThePanelStartsAtHome) {
    setTemplates({templateEntry("txt")});
    choose("New File From Window", {}, MenuKind::Toolbar);
    const std::vector<nlohmann::json> panels = transcriptOf("save");
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0]["folder"], home().string());
}

// ---- Add to File Template ----------------------------------------------------------------

TEST_F(NewFile, AddingAFileMakesATemplateThatTheNextMenuOffers) {
    setTemplates({templateEntry("txt")});
    const fs::path report = files().write("docs/report.docx", "report bytes");
    choose("Add to File Template", {report.string()});

    const std::vector<nlohmann::json> list = templateList();
    ASSERT_EQ(list.size(), 3u);
    const nlohmann::json& added = list.back();
    const std::string key = added["key"];
    EXPECT_EQ(added["displayName"], "report");
    EXPECT_EQ(added["ext"], "docx");
    const std::string copy = added["templatePath"];
    EXPECT_EQ(fs::path(copy).parent_path(),
              fs::path(RCMenuManager::sharedInstance().fileTemplateFolder()));
    EXPECT_EQ(fs::path(copy).filename(), key);
    EXPECT_EQ(readFile(copy), "report bytes");
    const std::vector<nlohmann::json> progress = transcriptOf("progress");
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[0]["step"], "open");
    EXPECT_EQ(progress[1]["step"], "success");
    EXPECT_EQ(progress[1]["message"], localized("Success Common Tip"));
    EXPECT_EQ(progress.back()["step"], "close");
    EXPECT_EQ(sync().loadingCount(), 0);

    // The new template is offered, by its name, and creates copies of the file.
    const fs::path folder = files().mkdir("new");
    const MenuList menu = menuFor(MenuKind::Items, {folder.string()});
    const MenuNode* child = nodeWithKey(*nodeWithKey(menu, "New File")->children, key);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->title, "report");
    choose(key, {folder.string()});
    EXPECT_EQ(readFile(folder / "Untitled.docx"), "report bytes");
}

TEST_F(NewFile, AFileWithoutExtensionBecomesANamedTemplate) {
    setTemplates({});
    const fs::path makefile = files().write("src/Makefile", "all:\n");
    choose("Add to File Template", {makefile.string()});
    const std::vector<nlohmann::json> list = templateList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.back()["displayName"], "Makefile");
    EXPECT_TRUE(list.back()["special"]);

    const fs::path folder = files().mkdir("proj");
    choose(list.back()["key"].get<std::string>(), {folder.string()});
    EXPECT_EQ(readFile(folder / "Makefile"), "all:\n");
}

TEST_F(NewFile, AFailedCopyAddsNoTemplateAndSaysSo) {
    setTemplates({});
    const fs::path report = files().write("report.docx", "x");
    const MenuList menu = menuFor(MenuKind::Items, {report.string()});
    const MenuNode* add =
        nodeWithKey(*nodeWithKey(menu, "New File")->children, "Add to File Template");
    ASSERT_NE(add, nullptr);
    fs::remove(report);
    ASSERT_TRUE(sync().activate(sync().menuId(), add->tag));
    ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    EXPECT_EQ(templateList().size(), 1u);
    const std::vector<nlohmann::json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["informative"], localized("Error Common Tip"));
    for (const nlohmann::json& line : transcriptOf("progress")) {
        EXPECT_NE(line["step"], "success");
    }
    EXPECT_TRUE(fs::is_empty(RCMenuManager::sharedInstance().fileTemplateFolder()));
}

// ---- The blank documents -----------------------------------------------------------------

// Just enough of a zip reader to check a package: names, methods and contents through the
// central directory, and the first local header.
struct ZipMember {
    std::string name;
    std::uint16_t method = 0;
    std::string data;
};

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}

std::optional<std::string> inflateRaw(const std::string& in, std::size_t size) {
    std::string out(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.total_out != size) {
        return std::nullopt;
    }
    return out;
}

std::vector<ZipMember> readZip(const std::string& b) {
    std::vector<ZipMember> members;
    std::size_t end = b.size() >= 22 ? b.size() - 22 : std::string::npos;
    while (end != std::string::npos && le(b, end, 4) != 0x06054b50) {
        end = end == 0 ? std::string::npos : end - 1;
    }
    if (end == std::string::npos) {
        ADD_FAILURE() << "no end of central directory";
        return members;
    }
    const std::uint32_t count = le(b, end + 10, 2);
    std::size_t at = le(b, end + 16, 4);
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(le(b, at, 4), 0x02014b50u);
        ZipMember m;
        m.method = static_cast<std::uint16_t>(le(b, at + 10, 2));
        const std::uint32_t crc = le(b, at + 16, 4);
        const std::uint32_t packed = le(b, at + 20, 4);
        const std::uint32_t size = le(b, at + 24, 4);
        const std::uint32_t nameLength = le(b, at + 28, 2);
        const std::uint32_t skip = nameLength + le(b, at + 30, 2) + le(b, at + 32, 2);
        const std::uint32_t local = le(b, at + 42, 4);
        m.name = b.substr(at + 46, nameLength);
        const std::size_t data = local + 30 + le(b, local + 26, 2) + le(b, local + 28, 2);
        const std::string raw = b.substr(data, packed);
        if (m.method == 0) {
            m.data = raw;
        } else if (m.method == 8) {
            m.data = inflateRaw(raw, size).value_or("<bad deflate>");
        }
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(m.data.data()),
                        static_cast<uInt>(m.data.size())),
                  crc)
            << m.name;
        members.push_back(std::move(m));
        at += 46 + skip;
    }
    return members;
}

// Well-formed enough: one root, every tag closed in order, quoted attributes.
bool wellFormedXml(const std::string& text) {
    std::vector<std::string> open;
    int roots = 0;
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string::npos) {
        if (text.compare(i, 4, "<!--") == 0) {
            i = text.find("-->", i);
        } else if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
            i = text.find('>', i);
        } else {
            const std::size_t close = text.find('>', i);
            if (close == std::string::npos) {
                return false;
            }
            std::string tag = text.substr(i + 1, close - i - 1);
            if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) {
                return false;
            }
            const bool ending = !tag.empty() && tag.front() == '/';
            const bool empty = !tag.empty() && tag.back() == '/';
            std::string name = tag.substr(ending ? 1 : 0, tag.find_first_of(" /\t\n", 1));
            if (ending) {
                name = tag.substr(1);
                if (open.empty() || open.back() != name) {
                    return false;
                }
                open.pop_back();
            } else {
                if (open.empty()) {
                    ++roots;
                }
                if (!empty) {
                    open.push_back(name);
                }
            }
            i = close;
        }
        if (i == std::string::npos) {
            return false;
        }
    }
    return roots == 1 && open.empty();
}

TEST(WellFormedXml, TellsBrokenXmlApart) {
    EXPECT_TRUE(wellFormedXml("<?xml version=\"1.0\"?>\n<a x=\"1\"><b/><c>t</c></a>"));
    EXPECT_FALSE(wellFormedXml("<a><b></a></b>"));
    EXPECT_FALSE(wellFormedXml("<a></a><b/>"));
    EXPECT_FALSE(wellFormedXml("<a x=\"1></a>"));
    EXPECT_FALSE(wellFormedXml("<a>"));
}

std::map<std::string, std::string> packageParts(const std::string& ext) {
    std::map<std::string, std::string> parts;
    for (ZipMember& m : readZip(blankBytes(ext))) {
        EXPECT_TRUE(m.method == 0 || m.method == 8) << m.name;
        parts[m.name] = std::move(m.data);
    }
    for (const auto& [name, data] : parts) {
        if (name.ends_with(".xml") || name.ends_with(".rels")) {
            EXPECT_TRUE(wellFormedXml(data)) << ext << ": " << name;
        }
    }
    return parts;
}

TEST(BlankDocuments, OfficeOpenXmlPackagesHaveTheirParts) {
    const std::map<std::string, std::vector<std::string>> required = {
        {"docx", {"word/document.xml", "word/styles.xml", "word/_rels/document.xml.rels"}},
        {"xlsx",
         {"xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/worksheets/sheet1.xml",
          "xl/styles.xml"}},
        {"pptx",
         {"ppt/presentation.xml", "ppt/_rels/presentation.xml.rels", "ppt/slides/slide1.xml",
          "ppt/slideMasters/slideMaster1.xml", "ppt/slideLayouts/slideLayout1.xml",
          "ppt/theme/theme1.xml"}},
    };
    for (const auto& [ext, names] : required) {
        const std::map<std::string, std::string> parts = packageParts(ext);
        ASSERT_TRUE(parts.contains("[Content_Types].xml")) << ext;
        ASSERT_TRUE(parts.contains("_rels/.rels")) << ext;
        for (const std::string& name : names) {
            ASSERT_TRUE(parts.contains(name)) << ext << ": " << name;
            // Every part is declared with its type.
            EXPECT_NE(parts.at("[Content_Types].xml")
                          .find(name.ends_with(".rels") ? "Extension=\"rels\""
                                                        : "PartName=\"/" + name + "\""),
                      std::string::npos)
                << ext << ": " << name;
        }
        EXPECT_NE(parts.at("_rels/.rels").find("Target=\"" + names.front() + "\""),
                  std::string::npos)
            << ext;
    }
}

TEST(BlankDocuments, OpenDocumentPackagesStartWithTheirStoredMimetype) {
    for (const std::string kind : {"text", "spreadsheet", "presentation"}) {
        const std::string ext = kind == "text" ? "odt" : kind == "spreadsheet" ? "ods" : "odp";
        const std::string bytes = blankBytes(ext);
        const std::string mimetype = "application/vnd.oasis.opendocument." + kind;
        // Sniffers read it at a fixed offset: first, stored, no extra field.
        ASSERT_GT(bytes.size(), 38 + mimetype.size());
        EXPECT_EQ(le(bytes, 0, 4), 0x04034b50u);
        EXPECT_EQ(le(bytes, 8, 2), 0u) << ext;
        EXPECT_EQ(le(bytes, 28, 2), 0u) << ext;
        EXPECT_EQ(bytes.substr(30, 8), "mimetype");
        EXPECT_EQ(bytes.substr(38, mimetype.size()), mimetype);

        const std::map<std::string, std::string> parts = packageParts(ext);
        for (const char* name : {"content.xml", "styles.xml", "META-INF/manifest.xml"}) {
            EXPECT_TRUE(parts.contains(name)) << ext << ": " << name;
        }
        EXPECT_NE(parts.at("META-INF/manifest.xml").find(mimetype), std::string::npos);
        EXPECT_NE(parts.at("content.xml").find("<office:" + kind), std::string::npos);
    }
}

TEST(BlankDocuments, WpsTypesAreCompoundFilesAndTextTypesLookRight) {
    const std::string magic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    for (const char* ext : {"wps", "et", "dps"}) {
        const std::string bytes = blankBytes(ext);
        EXPECT_EQ(bytes.substr(0, 8), magic) << ext;
        // Compound files are whole 512-byte sectors.
        EXPECT_EQ(bytes.size() % 512, 0u) << ext;
    }

    const std::string rtf = blankBytes("rtf");
    EXPECT_TRUE(rtf.starts_with("{\\rtf1"));
    EXPECT_EQ(std::count(rtf.begin(), rtf.end(), '{'), std::count(rtf.begin(), rtf.end(), '}'));
    EXPECT_EQ(rtf.substr(rtf.find_last_not_of('\n')), "}\n");

    const std::string html = blankBytes("html");
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    for (const char* tag : {"<head>", "<meta charset=\"utf-8\">", "<body>", "</body>", "</html>"}) {
        EXPECT_NE(html.find(tag), std::string::npos) << tag;
    }

    const std::string xml = blankBytes("xml");
    EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_TRUE(wellFormedXml(xml));
}

}  // namespace
}  // namespace tf::test
