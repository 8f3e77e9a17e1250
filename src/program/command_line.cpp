#include "program/command_line.h"

#include <string_view>

#include "driver/report.h"

namespace {

CommandLine refused(std::string message, std::string_view option = "") {
    CommandLine line;
    line.action = CommandLine::Action::Refuse;
    line.refusal = std::move(message);
    line.argument = option;
    return line;
}

CommandLine withAction(CommandLine::Action action, std::string argument = "") {
    CommandLine line;
    line.action = action;
    line.argument = std::move(argument);
    return line;
}

}  // namespace

CommandLine parseCommandLine(int argc, char* argv[]) {
    if (argc < 2) return {};
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h") return withAction(CommandLine::Action::Help);
    if (first == "--version") return withAction(CommandLine::Action::Version);
    if (first == "--batch") {
        CommandLine batch = withAction(CommandLine::Action::Batch);
        for (int i = 2; i < argc; ++i) batch.paths.emplace_back(argv[i]);
        if (batch.paths.empty()) return refused("エラー：--batch の後に問題ファイルかフォルダを指定してください");
        return batch;
    }
    if (first == "--usi") return withAction(CommandLine::Action::Usi);
    // "--" ends the options, for a problem file whose name starts with "-".
    if (first == "--") return withAction(CommandLine::Action::Solve, argc > 2 ? argv[2] : "");
    // Not taken for a file name: "--hlep" would only fail to open.
    if (first.size() > 1 && first[0] == '-')
        return refused("エラー：知らないオプションです：", first);
    return withAction(CommandLine::Action::Solve, std::string(first));
}

std::string usageText() {
    return "使い方：kelvaro [問題ファイル]\n"
           "        kelvaro --batch ファイルまたはフォルダ…\n"
           "        kelvaro --usi      （USIの詰将棋エンジン：go mate）\n"
           "        kelvaro --help | -h | --version\n"
           "問題ファイル（KIF形式、Shift_JISまたはUTF-8）の詰を解き、早詰・余詰・変別・\n"
           "非限定・迂回を検討して、結果を「問題ファイル名.txt」に追記します。\n"
           "ファイル名を省くと尋ねます。--batch は各問題を順に（質問にはすべてNoで）検討し、\n"
           "一覧表を表示して kelvaro-batch.tsv に書きます。\n"
           "\n"
           "問題ファイルの行：\n"
           "  手数：N    手数（無ければ指し手の数）\n"
           "  分類：…    最善詰 最悪詰 自玉詰 ステイルメイト 最善勝 千日手 受先最善千日手\n"
           "             攻方禁欲 受方禁欲 攻方強欲 双方マキシ 攻方ミニ 攻方長躯 非王手可\n"
           "             非連続王手 打歩 など\n"
           "  備考：…    解図のみ 略式検討 余詰検討 対称性検出 持駒節約 作意強制 不詰出力\n"
           "             トレース モニタ 詳細モニタ ハッシュモニタ メモリ500MB\n"
           "\n"
           "探索中のキー：\n"
           "  ESC  中断（状態を待避ファイル「問題ファイル名.kvs」に保存できます）\n"
           "  D    探索中の手順を表示    M  モニタの切替    + -  モニタの深さ\n"
           "\n"
           "終了コード：0 検討を終えた（詰・不詰とも）、1 入力の拒否または失敗、\n"
           "            --batch では 0 全問が完全、2 指摘または不詰のある問題あり、1 失敗\n";
}

std::string versionText() { return std::string("Kelvaro ") + PROGRAM_VERSION + "\n"; }
