#include "ui/win32/messages.h"

#include <cstdio>

namespace {

std::wstring widen(UINT code_page, const char* text)
{
    if (!text || !*text)
        return std::wstring();
    int n = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// What happened, as a UTF-8 format with one %s for the item.
const char* problem_format(ProblemKind kind)
{
    switch (kind) {
    case ProblemKind::file_too_large: return "4GB以上のファイルは記録できません: %s";
    case ProblemKind::too_many_directories: return "ディレクトリの数が65535を超えています %s";
    case ProblemKind::path_too_long: return "パスが511文字を超えています: %s";
    case ProblemKind::key_too_long: return "並べ替えに使うパスが511文字を超えています: %s";
    case ProblemKind::line_too_long: return "登録する行が511文字を超えています: %s";
    case ProblemKind::output_path_too_long: return "出力ファイル名が511文字を超えています: %s";
    case ProblemKind::output_is_input: return "出力ファイルが登録したフォルダの中にあります: %s";
    case ProblemKind::graft_clash: return "同じパスに二つのものがあります: %s";
    case ProblemKind::boot_path_unusable: return "ブートイメージのパスが使えません: %s";
    case ProblemKind::name_too_long: return "名前が255バイトを超えています: %s";
    case ProblemKind::link_target_too_long: return "シンボリックリンクの参照先が1023バイトを超えています: %s";
    case ProblemKind::volume_too_large: return "イメージのセクタ数がボリュームの上限の4294967295を超えています: %s";
    case ProblemKind::output_not_created: return "出力ファイルを作成できません: %s";
    case ProblemKind::write_failed: return "ファイルの書き込みに失敗しました: %s";
    case ProblemKind::source_unreadable: return "読めなかった部分を0で埋めました: %s";
    case ProblemKind::source_shrunk: return "ファイルが登録後に小さくなったため、足りない部分を0で埋めました: %s";
    case ProblemKind::source_grown: return "ファイルが登録後に大きくなったため、予定の大きさで切りました: %s";
    case ProblemKind::source_gone: return "登録したものが見つからないため、空のファイルとして記録しました: %s";
    case ProblemKind::folder_unreadable: return "フォルダの中身を読めないため、空のフォルダとして記録しました: %s";
    case ProblemKind::special_registered: return "特殊なファイルのため、空のファイルとして記録しました: %s";
    case ProblemKind::size_unreported: return "大きさの分からないファイルのため、空のファイルとして記録しました: %s";
    case ProblemKind::directory_loop: return "自分自身を含むフォルダの中身は記録しませんでした: %s";
    case ProblemKind::special_file_skipped: return "特殊なファイルを記録しませんでした: %s";
    case ProblemKind::output_left_out: return "出力ファイルは記録しませんでした: %s";
    }
    return "問題が起きました: %s";
}

}  // namespace

std::wstring from_utf8(const char* text)
{
    return widen(CP_UTF8, text);
}
std::wstring from_ansi(const char* text)
{
    return widen(CP_ACP, text);
}

std::wstring problem_text(const BuildProblem& problem)
{
    std::wstring format = from_utf8(problem_format(problem.kind));
    std::wstring item = from_ansi(problem.path.c_str());
    std::wstring text;
    size_t at = format.find(L"%s");
    if (at == std::wstring::npos)
        text = format;
    else
        text = format.substr(0, at) + item + format.substr(at + 2);
    // Trim what an empty item leaves behind.
    while (!text.empty() && (text.back() == L' ' || text.back() == L':'))
        text.pop_back();
    if (!problem.detail.empty())
        text += L" (" + from_ansi(problem.detail.c_str()) + L")";
    return text;
}

std::wstring build_report(const BuildOutcome& outcome, const char* output_path)
{
    if (outcome.clean())
        return std::wstring();
    // An abort is the user's own request; the shortened file says enough.
    if (outcome.aborted)
        return std::wstring();

    bool refused = false, failed = false;
    for (const BuildProblem& problem : outcome.problems) {
        ProblemSeverity severity = severity_of(problem.kind);
        refused = refused || severity == ProblemSeverity::refused;
        failed = failed || severity == ProblemSeverity::failed;
    }
    std::wstring text;
    if (refused)
        text = from_utf8("ISOファイルを作成しませんでした。");
    else if (failed || !outcome.written)
        text = from_utf8("ISOファイルの作成に失敗しました。");
    else
        text = from_utf8("ISOファイルを作成しましたが、内容に問題があります。");
    text += L"\r\n" + from_ansi(output_path) + L"\r\n\r\n";

    const size_t shown_at_most = 12;
    size_t shown = 0;
    for (const BuildProblem& problem : outcome.problems) {
        if (shown == shown_at_most)
            break;
        text += problem_text(problem) + L"\r\n";
        ++shown;
    }
    if (outcome.problems.size() > shown) {
        wchar_t more[64];
        std::swprintf(more, 64, L"%u", static_cast<unsigned>(outcome.problems.size() - shown));
        text += from_utf8("ほか ") + more + from_utf8(" 件");
    }
    return text;
}

void show_warning(HWND owner, const std::wstring& text)
{
    MessageBoxW(owner, text.c_str(), L"TarnwickISO", MB_OK | MB_ICONWARNING);
}
