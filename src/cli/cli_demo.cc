// qnmuro demo: one document's whole road, with no set-up. A development OA server starts on
// 127.0.0.1, publishes a template-made notice, and hands it over as the OA system does
// (control file, data source, registry value CurrentFile). The simulated word processor opens
// it with the add-in connected: user name, toolbar, merged bookmarks, hidden revisions. The
// user adds a sentence and saves; the add-in asks, keeps a backup and uploads the document.
// The demo then checks that the server holds the new version with the sentence in it.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "cli/command.h"
#include "cli/demo_server.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "platform/ui.h"
#include "simhost/script_runner.h"
#include "transfer/http_operation.h"

namespace qnmuro::cli {
namespace {

namespace fs = std::filesystem;

constexpr char kUnid[] = "6F2A";
constexpr char kTypedSentence[] = "会议地点另行通知。";

// The template-made notice: red head with its rule, body markers, data bookmarks.
constexpr char kMakeNotice[] = R"(new
type "青禾市人民政府办公室文件\r文号\r标题\r发文单位\r正文第一段。\r正文第二段。\r签发人：签发人\r领导意见：意见\r成文日期\r"
select 12 12
picture rule.bmp DocMarkLine 420 3
select 13 15
bookmark 文号
select 16 18
bookmark 标题
select 19 23
bookmark 发文单位
select 24 24
bookmark BodyStart
select 37 37
bookmark BodyEnd
select 42 45
bookmark 签发人
select 51 53
bookmark 领导意见
select 54 58
bookmark 成文日期
save-as notice.doc
close
)";

// What the clerk does once the OA system has handed the document over.
constexpr char kClerkSession[] = R"(define-macro OAOpen
set-registry CurrentFile notice.doc
open notice.doc
show state
show toolbar
show bookmarks
select-bookmark BodyEnd
type "会议地点另行通知。"
answer yes
save
show state
answer no
close
show toolbar
show documents
)";

constexpr char kControlFile[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<config>
  <common>
    <clientLog>true</clientLog>
    <http><rootUrl>@BASE@/oa/doc.nsf</rootUrl></http>
    <user>
      <dept>办公室</dept>
      <name>zhangsan</name>
      <lastName>张三</lastName>
      <fullName>张三/办公室/青禾</fullName>
      <password>@PASSWORD@</password>
    </user>
    <transferMethod>HttpStreamBinary</transferMethod>
  </common>
  <binarys>
    <binary>
      <uploadUrl>@BASE@/oa/doc.nsf/upload?OpenAgent</uploadUrl>
      <fileName>notice.doc</fileName>
      <title>关于召开年度工作会议的通知</title>
      <type>content</type>
      <downloadUrl>@BASE@/oa/doc.nsf/0/6F2A/$file/notice.doc</downloadUrl>
      <valueType>streamBinary</valueType>
      <draftUrl></draftUrl>
    </binary>
  </binarys>
  <binaryAssistants/>
  <wordConfig/>
  <sealConfig/>
  <document>
    <action>DraftDocument</action>
    <binaryDatabase>
      <fileName>oa/binary.nsf</fileName><filePath>oa\binary.nsf</filePath>
      <server><address>127.0.0.1</address><name>CN=OA01/O=QN</name><title>OA服务器</title></server>
      <title>附件库</title>
    </binaryDatabase>
    <database>
      <fileName>oa/doc.nsf</fileName><filePath>oa\doc.nsf</filePath>
      <server><address>127.0.0.1</address><name>CN=OA01/O=QN</name><title>OA服务器</title></server>
      <title>公文库</title>
    </database>
    <status>拟稿</status>
    <unid>6F2A</unid>
    <button>查看痕迹,隐藏红头</button>
  </document>
  <extend/>
</config>
)";

constexpr char kDataSource[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<document unid="6F2A">
  <items>
    <item><name>title</name><desc>标题</desc><value>关于召开年度工作会议的通知</value></item>
    <item><name>docNumber</name><desc>文号</desc><value>青办〔2026〕12号</value></item>
    <item><name>sender</name><desc>发文单位</desc><value>青禾市人民政府办公室</value></item>
    <item><name>signer</name><desc>签发人</desc><value>李四</value></item>
    <item><name>opinions</name><desc>领导意见</desc><value>
      <opinion><text>同意，请办公室抓紧办理。</text><author>李四</author><date>2026-12-07 09:30:15</date></opinion>
    </value></item>
    <item><name>issueDate</name><desc>成文日期</desc><value>2026年12月7日</value></item>
  </items>
</document>
)";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A 64x2 red rule as a bottom-up 24-bit BMP: the red head's line.
std::string RedRuleBmp() {
  const int w = 64, h = 2, row = w * 3;  // 192 bytes: already a multiple of 4
  const int size = 54 + row * h;
  std::string b(static_cast<size_t>(size), '\0');
  auto put32 = [&b](int at, int v) {
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(at + i)] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put32(2, size), put32(10, 54), put32(14, 40), put32(18, w), put32(22, h);
  b[26] = 1, b[28] = 24;
  put32(34, row * h);
  for (int i = 54; i < size; i += 3) b[static_cast<size_t>(i + 2)] = '\xC0';  // B, G, R
  return b;
}

void Section(const std::string& title) {
  std::cout << "\n== " << title << "\n" << std::flush;
}

// The demo's folder: DIR when given (new or empty: the demo writes a work directory of its own
// there, which must never take the place of one in use), else a new temporary one. Empty
// when DIR cannot be used, said on stderr.
fs::path DemoRoot(const std::string& keep_dir) {
  if (!keep_dir.empty()) {
    const fs::path dir = fs::absolute(keep_dir);
    std::error_code ec;
    if (fs::exists(dir, ec) && (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec))) {
      std::cerr << "qnmuro: demo: " << dir.string()
                << " is not an empty folder: name a new or empty one with --dir\n";
      return fs::path();
    }
    fs::create_directories(dir, ec);
    return dir;
  }
  // A new folder only the user may enter: one that exists already is never taken over.
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "qnmuro-demo-%08x", static_cast<unsigned>(random()));
    const fs::path folder = fs::temp_directory_path() / name;
    std::error_code ec;
    if (fs::create_directory(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
      return folder;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

// A development OA server already running, named by its address and the folder it serves.
class RunningDemoServer : public DemoServer {
 public:
  explicit RunningDemoServer(std::string base_url) : base_url_(std::move(base_url)) {
    while (!base_url_.empty() && base_url_.back() == '/') base_url_.pop_back();
  }
  bool Start(std::string*) override { return true; }
  void Stop() override {}
  std::string BaseUrl() const override { return base_url_; }
  std::vector<std::string> Lines() override { return {}; }

 private:
  std::string base_url_;
};

// 1. The notice is drafted from its template and published on the server.
bool PublishNotice(simhost::ScriptRunOptions options, const fs::path& work,
                   const fs::path& server_root) {
  Section("a template-made notice is published on the OA server");
  WriteFile(work / "rule.bmp", RedRuleBmp());
  std::ostringstream quiet;
  options.out = &quiet;
  if (simhost::RunScript(kMakeNotice, options) != 0) return false;
  // Copied, not renamed: a server run by another build may serve another file system. An
  // earlier run's file goes first (mingw's library cannot copy over one).
  std::error_code ec;
  const fs::path published = server_root / "files" / kUnid / "notice.doc";
  fs::remove(published, ec);
  fs::copy_file(work / "notice.doc", published, ec);
  if (ec) throw std::runtime_error("cannot publish the notice: " + ec.message());
  fs::remove(work / "notice.doc", ec);
  std::cout << "files/" << kUnid << "/notice.doc\n";
  return true;
}

// 2. The OA system hands it over: it downloads the document into the work directory and
// writes the control file and data source beside it.
bool HandOver(const Context& services, const std::string& base_url, const fs::path& work) {
  Section("the OA system hands the notice over");
  SharedState state;
  Context ctx = services;
  ctx.state = &state;
  const std::u16string password = u"3A7F0C21B4";  // the user's enciphered password
  HttpOperation download(ctx);
  download.SetHttpUrl(Utf8ToUtf16(base_url + "/oa/doc.nsf/0/" + kUnid + "/$file/notice.doc"));
  download.SetHttpUser(u"zhangsan");
  download.SetHttpPassword(password);
  download.SetDestFile(FromPath(work / "notice.doc"));
  if (!download.DownloadFileByStream()) {
    std::cerr << "qnmuro: demo: download failed: " << U8(download.errorMessage()) << "\n";
    return false;
  }
  WriteFile(work / "notice.xml",
            Replace(Replace(kControlFile, "@BASE@", base_url), "@PASSWORD@", U8(password)));
  WriteFile(work / "notice.ds.xml", kDataSource);
  std::cout << "notice.doc, notice.xml, notice.ds.xml in " << work.string() << "\n";
  return true;
}

// The versions of the notice the server holds.
size_t StoredVersions(const fs::path& server_root) {
  size_t n = 0;
  std::error_code ec;
  for (fs::directory_iterator it(server_root / "documents" / kUnid, ec), end; !ec && it != end;
       it.increment(ec)) {
    ++n;
  }
  return n;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return in ? bytes.str() : std::string();
}

// 4. What the server stored: one version more than before this run, byte for byte the
// document the clerk saved, with the merged data and the clerk's sentence in it.
int CheckUploaded(const fs::path& root, const fs::path& server_root, size_t versions_before,
                  const simhost::ScriptRunOptions& options) {
  Section("the uploaded version");
  const fs::path documents = server_root / "documents" / kUnid;
  const fs::path uploaded = documents / "notice.doc";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(documents, ec)) {
    std::cout << "documents/" << kUnid << "/" << entry.path().filename().string() << "\n";
  }
  if (!fs::is_regular_file(uploaded, ec) || StoredVersions(server_root) != versions_before + 1) {
    std::cout << "DEMO FAILED: the server stored no new notice.doc in this run\n";
    return 1;
  }
  const std::string saved = FileBytes(root / "OAWork" / "notice.doc");
  if (saved.empty() || FileBytes(uploaded) != saved) {
    std::cout << "DEMO FAILED: the server's notice.doc is not the document the clerk saved\n";
    return 1;
  }
  ScriptedUi ui;
  auto clock = NewVirtualClock(options.start_time);
  // Read back by the same word processor the clerk used.
  const hostkit::HostOptions host{&ui, clock.get(), FromPath(root)};
  std::u16string text;
  try {
    std::unique_ptr<hostkit::ScriptHost> app = options.host(host);
    text = app->GetDocuments().Open(FromPath(uploaded), true)->Content()->Text();
  } catch (const Error& e) {
    std::cout << "DEMO FAILED: the uploaded notice does not open: " << e.what() << "\n";
    return 1;
  }
  if (text.find(Utf8ToUtf16(kTypedSentence)) == std::u16string::npos ||
      text.find(u"关于召开年度工作会议的通知") == std::u16string::npos) {
    std::cout << "DEMO FAILED: the uploaded notice lacks the merged title or the new sentence\n";
    return 1;
  }
  return 0;
}

struct DemoArgs {
  std::string keep_dir;
  std::string server_url;   // a server already running; empty: one of the demo's own
  std::string server_root;  // the folder that server serves
  HostChoice host;
};

int RunDemo(const DemoArgs& args) {
  const fs::path root = DemoRoot(args.keep_dir);
  if (root.empty()) return 2;
  const fs::path server_root =
      args.server_url.empty() ? root / "server" : fs::absolute(args.server_root);
  const fs::path work = root / "OAWork";
  std::error_code ec;
  fs::create_directories(server_root / "files" / kUnid, ec);
  fs::create_directories(work, ec);

  std::unique_ptr<DemoServer> own =
      args.server_url.empty() ? NewOwnDemoServer(server_root) : nullptr;
  if (args.server_url.empty() && !own) {
    std::cerr << "qnmuro: demo: this build has no OA server of its own: start one with the Linux"
                 " build (qnmuro oa-server --root DIR) and name it with --server URL"
                 " --server-root DIR\n";
    return 2;
  }
  RunningDemoServer running(args.server_url);
  DemoServer& server = own ? *own : running;
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << "qnmuro: demo: the OA server did not start: " << error << "\n";
    return 1;
  }
  Section("OA server at " + server.BaseUrl() + ", files in " + root.string());

  ServiceOptions service_options;
  service_options.work_dir = FromPath(work);
  service_options.registry_file = root / "registry.reg";
  const Services services = DefaultServices(service_options);
  simhost::ScriptRunOptions options;
  options.work_dir = services.work_dir;
  options.err = &std::cerr;
  options.start_time = FromLocalTime(LocalTime{2026, 12, 8, 9, 0, 0});
  options.services.registry = services.registry.get();
  options.services.http = services.http.get();
  options.services.shell = services.shell.get();
  options.services.work_dir = services.work_dir;
  options.host = HostFactoryFor(args.host);

  if (!PublishNotice(options, work, server_root)) return 1;
  if (!HandOver(options.services, server.BaseUrl(), work)) return 1;

  // 3. The clerk works on it in the word processor with the add-in connected.
  const size_t versions_before = StoredVersions(server_root);
  Section("the clerk drafts in the word processor");
  options.out = &std::cout;
  options.add_ins.push_back(
      [](const Context& services) { return std::make_unique<WPSaddin>(services); });
  if (simhost::RunScript(kClerkSession, options) != 0) return 1;

  Section("requests the OA server saw");
  for (const std::string& line : server.Lines()) std::cout << line << "\n";
  if (!own) std::cout << "(in the log of the server at " << server.BaseUrl() << ")\n";
  server.Stop();

  if (CheckUploaded(root, server_root, versions_before, options) != 0) return 1;
  std::cout << "DEMO OK: the server's notice.doc holds the merged data and the clerk's sentence"
            << "\nevent log: " << (work / "comlog.txt").string() << "\n";
  return 0;
}

}  // namespace

void AddDemo(CLI::App& app) {
  CLI::App* demo = app.add_subcommand(
      "demo", "Run one document's round trip from the OA server to the word processor and back");
  auto args = std::make_shared<DemoArgs>();
  demo->add_option("--dir", args->keep_dir,
                   "keep the demo's files in this folder (default: a new temporary one)");
  CLI::Option* url = demo->add_option(
      "--server", args->server_url,
      "use a development OA server already running at this URL (http://127.0.0.1:PORT)");
  CLI::Option* served = demo->add_option("--server-root", args->server_root,
                                         "the folder that server serves (its --root)");
  url->needs(served);
  served->needs(url);
  AddHostOptions(*demo, args->host);
  demo->callback([args] { ExitStatus() = RunDemo(*args); });
  SetHelpFooter(demo,
                {"qnmuro demo", "qnmuro demo --dir demo-files", "qnmuro demo --host libreoffice",
                 "qnmuro demo --server http://127.0.0.1:8080 --server-root oa-root"},
                {"QNMURO_CODEPAGE"});
}

}  // namespace qnmuro::cli
