// What the output box (and the command line's stderr) says after a drive
// tool has run. English for the command line, Japanese (UTF-8) for the Tool
// window.
#include "drivetools/drive_tools.h"

#include <cstdarg>
#include <cstdio>

namespace drivetools {
namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
format(const char* pattern, ...)
{
    char text[1024];
    va_list args;
    va_start(args, pattern);
    int n = std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    if (n < 0)
        return std::string();
    if (static_cast<size_t>(n) < sizeof text)
        return std::string(text, static_cast<size_t>(n));
    std::string longer(static_cast<size_t>(n) + 1, '\0');
    va_start(args, pattern);
    std::vsnprintf(longer.data(), longer.size(), pattern, args);
    va_end(args);
    longer.resize(static_cast<size_t>(n));
    return longer;
}

using ull = unsigned long long;
using ll = long long;

bool ja(Language language)
{
    return language == Language::japanese;
}

std::string open_failed(const std::string& device, const std::string& error, Language language)
{
    if (ja(language))
        return format("ドライブ %s を開けません (%s)", device.c_str(), error.c_str());
    return format("cannot open drive %s (%s)", device.c_str(), error.c_str());
}

std::string create_failed(const std::string& output, const std::string& error, Language language)
{
    if (ja(language))
        return format("出力ファイルを作成できません (%s)", error.c_str());
    return format("cannot create %s: %s", output.c_str(), error.c_str());
}

}  // namespace

std::string output_text(const TocQuery& query, Language language)
{
    switch (query.status) {
    case ToolStatus::done: return query.cue.text;
    case ToolStatus::open_failed: return open_failed(query.device, query.error, language);
    case ToolStatus::no_tracks:
        if (ja(language))
            return "TOCにトラックがありません";
        return format("the table of contents of %s lists no tracks", query.device.c_str());
    case ToolStatus::read_failed:
    case ToolStatus::refused_range:
    case ToolStatus::create_failed:
    case ToolStatus::partial_block:
    case ToolStatus::write_failed:
    case ToolStatus::stopped:
    case ToolStatus::sheet_is_image: break;
    }
    if (ja(language))
        return "TOCを読み取れません (ディスクが入っていない可能性があります)";
    return format("cannot read the table of contents of %s (no disc?)", query.device.c_str());
}

std::string output_text(const DriveIdentification& query, Language language)
{
    switch (query.status) {
    case ToolStatus::done: return query.text;
    case ToolStatus::open_failed: return open_failed(query.device, query.error, language);
    case ToolStatus::read_failed:
    case ToolStatus::refused_range:
    case ToolStatus::create_failed:
    case ToolStatus::partial_block:
    case ToolStatus::no_tracks:
    case ToolStatus::write_failed:
    case ToolStatus::stopped:
    case ToolStatus::sheet_is_image: break;
    }
    if (ja(language))
        return "ドライブIDを取得できません";
    return format("cannot read the identification of %s", query.device.c_str());
}

std::string output_text(const DiskImageResult& r, Language language)
{
    const char* out = r.output.c_str();
    switch (r.status) {
    case ToolStatus::done: return std::string();
    case ToolStatus::open_failed: return open_failed(r.device, r.error, language);
    case ToolStatus::create_failed: return create_failed(r.output, r.error, language);
    case ToolStatus::read_failed:
        if (ja(language))
            return format(
                "ブロック %llu (バイト位置 %llu) で読み取りエラーが起きました。"
                "イメージはその前の %llu ブロックだけで、完全な複製ではありません",
                ull(r.blocks), ull(r.blocks) * disk_block_size, ull(r.blocks));
        return format(
            "read error at block %llu (byte %llu) of %s; %s holds only the %llu "
            "blocks before it and is not a complete copy",
            ull(r.blocks), ull(r.blocks) * disk_block_size, r.device.c_str(), out, ull(r.blocks));
    case ToolStatus::partial_block:
        if (ja(language))
            return format(
                "媒体はブロック %llu の途中 (%u バイト) で終わっています。"
                "この %u バイトはコピーしていないため、完全な複製ではありません",
                ull(r.blocks), r.partial_bytes, r.partial_bytes);
        return format(
            "%s ends %u bytes into block %llu; those bytes were not copied, so %s "
            "is not a complete copy",
            r.device.c_str(), r.partial_bytes, ull(r.blocks), out);
    case ToolStatus::write_failed:
        if (ja(language))
            return format("出力ファイルに書き込めません (%s)。%llu ブロックで中止しました", r.error.c_str(),
                          ull(r.blocks));
        return format("cannot write %s: %s; stopped after %llu blocks", out, r.error.c_str(), ull(r.blocks));
    case ToolStatus::stopped:
        if (ja(language))
            return format("%llu ブロックで中断しました。イメージは不完全です", ull(r.blocks));
        return format("stopped after %llu blocks; %s is incomplete", ull(r.blocks), out);
    case ToolStatus::refused_range:  // not a disk image status
    case ToolStatus::no_tracks:
    case ToolStatus::sheet_is_image: break;
    }
    return std::string();
}

std::string output_text(const CdImageResult& r, Language language)
{
    const char* out = r.output.c_str();
    std::string text;
    switch (r.status) {
    case ToolStatus::done: break;
    case ToolStatus::refused_range:
        if (ja(language))
            return format("最終セクタ (%d) が先頭セクタ (%d) - 1 より小さいため、作成しません", r.last, r.first);
        return format("last sector %d is below first sector %d minus 1; nothing was written", r.last, r.first);
    case ToolStatus::open_failed: return open_failed(r.device, r.error, language);
    case ToolStatus::create_failed: return create_failed(r.output, r.error, language);
    case ToolStatus::write_failed:
        if (ja(language))
            text =
                format("出力ファイルに書き込めません (%s)。%llu セクタで中止しました", r.error.c_str(), ull(r.sectors));
        else
            text = format("cannot write %s: %s; stopped after %llu sectors", out, r.error.c_str(), ull(r.sectors));
        break;
    case ToolStatus::stopped:
        if (ja(language))
            text = format("%llu セクタで中断しました。イメージは不完全です", ull(r.sectors));
        else
            text = format("stopped after %llu sectors; %s is incomplete", ull(r.sectors), out);
        break;
    case ToolStatus::read_failed:  // not a CD image status: unreadable sectors are counted
    case ToolStatus::partial_block:
    case ToolStatus::no_tracks:
    case ToolStatus::sheet_is_image: break;
    }
    if (r.unreadable > 0) {
        if (!text.empty())
            text += ja(language) ? "。" : "; ";
        if (ja(language))
            text += format(
                "%llu / %llu セクタを読み取れませんでした (最初はセクタ %lld)。"
                "そのセクタは 0 で埋めてあり、完全な複製ではありません",
                ull(r.unreadable), ull(r.sectors), ll(r.first_unreadable));
        else
            text += format(
                "%llu of %llu sectors could not be read, the first at sector %lld; "
                "they are zero-filled in %s, which is not a clean copy",
                ull(r.unreadable), ull(r.sectors), ll(r.first_unreadable), out);
    }
    return text;
}

std::string output_text(const DumpCueResult& r, Language language)
{
    const char* sheet = r.sheet.c_str();
    const char* device = r.device.c_str();
    switch (r.status) {
    case ToolStatus::done: {
        std::string text;
        for (uint8_t track : r.cue.assumed_mode1) {
            if (!text.empty())
                text += ja(language) ? "\r\n" : "\n";
            if (ja(language))
                text += format(
                    "トラック %02u の先頭セクタ (読み取れないか、モードが 1 でも 2 でもありません) からは"
                    "モードが分からないため、キューシートには MODE1/2352 と書きました",
                    unsigned(track));
            else
                text += format(
                    "note: the first dumped sector of track %02u is unreadable or names neither mode 1 nor 2; "
                    "%s says MODE1/2352 for it",
                    unsigned(track), sheet);
        }
        return text;
    }
    case ToolStatus::sheet_is_image:
        if (ja(language))
            return "キューシートの名前が出力ファイルと同じになるため、キューシートは作成しません";
        return format("the cue sheet %s would replace the image itself", sheet);
    case ToolStatus::open_failed:
        if (ja(language))
            return "キューシートを作成できません: " + open_failed(r.device, r.error, language);
        return "no cue sheet: " + open_failed(r.device, r.error, language);
    case ToolStatus::read_failed:
        if (ja(language))
            return "キューシートを作成できません: TOCを読み取れません";
        return format("no cue sheet: cannot read the table of contents of %s", device);
    case ToolStatus::no_tracks:
        if (ja(language))
            return format("キューシートを作成できません: セクタ %d から %d にトラックがありません (TOC)", r.first,
                          r.last);
        return format("no cue sheet: the table of contents of %s lists no track in sectors %d to %d", device, r.first,
                      r.last);
    case ToolStatus::create_failed:
        if (ja(language))
            return format("キューシートを作成できません (%s)", r.error.c_str());
        return format("cannot create the cue sheet %s: %s", sheet, r.error.c_str());
    case ToolStatus::write_failed:
        if (ja(language))
            return format("キューシートを書き込めません (%s)", r.error.c_str());
        return format("cannot write the cue sheet %s: %s", sheet, r.error.c_str());
    case ToolStatus::refused_range:
    case ToolStatus::partial_block:
    case ToolStatus::stopped: break;
    }
    return std::string();
}

}  // namespace drivetools
