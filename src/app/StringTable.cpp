#include "app/StringTable.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <iterator>

namespace vtstr {
namespace {

struct Entry {
    std::uint32_t id;
    const char* en; // nullptr: no entry in that language
    const char* ja;
};

// Sorted by id for the binary search in Find.
constexpr Entry kTable[] = {
    {128, "Veltrane Server\n\nZEV\n\n\nZEV.Document\nZEV Document",
     "Veltrane Server\n\nZEV\n\n\nZEV.Document\nZEV Document"},
    {129, "Exit(&X)", "終了(&X)"},
    {130, "Cancel", "キャンセル"},
    {1024, "Windows socket initialization failed.", "ソケットの初期化に失敗しました。"},
    {1025, "Program is already running.", "既に起動しています。"},
    {1026, "Unexpected error occurred.", "予期せぬエラーです。"},
    {1027, "Designated IP Address is either incorrect or does not exist.", "IPアドレスが不明か不正です。"},
    {1028, "Data is previously registered.", "既に登録されています。"},
    {1029, "Exceeds max. no. of registerable items.", "最大登録可能数を超えました。"},
    {1030, "Enter your data.", "入力して下さい。"},
    {1031, "Incorrect passward.", "パスワードが違います。"},
    {1036, "Incorrect group name.", "不正なグループ名です。"},
    {1037, "Data cannot be saved file.", "ファイルにデータを保存できません。"},
    {1038, "Data transfer stopped due to error.", "エラーにより通信処理を停止しました。"},
    {1039, "Error\nError code:%u", "エラーです。\nエラーコード：%u"},
    {1536,
     "PC to be deleted is included in a group.\nDeleting will remove it from the group.\n"
     "OK to continue with delete?",
     "削除しようとしているPCはグループから参照されています。\n削除するとグループからも除外します。\n"
     "削除しますか？"},
    {1537, "Deletes selected PC's registration.\nOK to continue?",
     "選択されているPCの登録を削除します。\nよろしいですか？"},
    {1538, "Deletes selected PC from group.\nOK to continue?",
     "選択されているPCをグループから除外します。\nよろしいですか？"},
    {1539, "Deletes selected group.\nOK to continue?",
     "選択されているグループを削除します。\nよろしいですか？"},
    {2048, "PC in Network", "ネットワーク上のPC"},
    {2049, "New Group", "新しいグループ"},
    {2050, "PC name", "PC名"},
    {2051, "IP address", "IPアドレス"},
    {2052, "Status", "状態"},
    {2053, "MAC address", "MACアドレス"},
    {2054, "Unknown", "不明"},
    {2055, "Now operating", "稼動中"},
    {2057, "Now searching.", "検索処理中です．．．"},
    {2058, "Operation Status is...", "稼動状況を問い合わせています．．．"},
    {2059, "Now Shutting Down.", "シャットダウン操作を実行しています．．．"},
    {2060, "Broadcast address", "ブロードキャストアドレス"},
    {2061, "Auto", "自動"},
    {2062, "next shutdown time", "次回シャットダウン時間"},
    {2063, "Shutdown", "シャットダウン"},
    {2064, "Wake up", "起動"},
    {2065, "next wake up time", "次回起動時間"},
    {32771, "Designate and register the PC unit's IP Address.\nManual Registration",
     "PCのIPアドレスを指定して登録する\n手動登録"},
    {32772, "Search for PC via network and register.\nAuto Registration",
     "ネットワークからPCを検索して登録する\n自動登録"},
    {32773, "Create new group.\nCreate Group", "新しいグループを作成する\nグループを作成"},
    {32774, "Add selected PC to group.\nAdd to Group", "選択したPCをグループへ追加する\nグループへ追加"},
    {32775, "Modify name of selected object.\nChange Name",
     "選択したオブジェクトの名前を変更する\n名前の変更"},
    {32776, "Delete selected object.\nDelete", "選択したオブジェクトを削除する\n削除"},
    {32777, "Convert main window to tray icon.\nTask Tray",
     "メインウインドウをトレイアイコン化する\nトレイアイコン化"},
    {32778, "Update PC Status Display.\nRefresh", "PCの状態表示を最新の情報に更新する\n最新の情報に更新"},
    {32780, "Reboot selected object.\nReboot", "選択したオブジェクトをリブートさせる\nリブート"},
    {32781, "Shut Down selected object.\nShutdown",
     "選択したオブジェクトをシャットダウンさせる\nシャットダウン"},
    {32782, "Power OFF selected object.\nPower OFF.", "選択したオブジェクトをパワーOFFさせる\nパワーOFF"},
    {32784, "Force Reboot of seleceted object.\nForcible Reboot",
     "選択したオブジェクトを強制リブートさせる\n強制リブート"},
    {32785, "Force Shut Down of selected object.\nForcible Shutdown",
     "選択したオブジェクトを強制シャットダウンさせる\n強制シャットダウン"},
    {32786, "Force Power OFF of selected object.\nFotced Power OFF.",
     "選択したオブジェクトを強制パワーＯＦＦさせる\n強制パワーＯＦＦ"},
    {32787, "Reserve Selected Object.\nReserve", "選択したオブジェクトの予約設定を行う\n予約"},
    {32788, "Perform Settings.\nOptions", "各種設定を行う\nオプション"},
    {32789, "Enter password for Application Start-up.\nPassword",
     "アプリケーションの起動パスワードを設定する\nパスワード設定"},
    // The Help > Contents item has a different id in each language's menu.
    {32791, nullptr, "ヘルプを表示します\n目次"},
    {32792, "Displays \"Help\".\nContents", nullptr},
    {32793, "Wake up Selected Object.\nWake up", "選択したオブジェクトを起動する\n起動"},
    {32794, "Edit Settings of Selected PC.\nEdit Settings", "選択したPCの設定を変更する\n設定変更"},
    {57344, "VT Server", "VT Server"},
    {57345, " ", " "},
    {57642, "Select all item in the windowt\nSelect All", "全て選択する\n全て選択"},
    {57664, "Display program information, version number and copyright\nAbout",
     "バージョン情報を表示する\nバージョン情報"},
    {57665, "Quit the application\nExit", "プログラムの終了\n終了"},
    {59142, "------------------------", "－－－－－－－－－－－－－－－－－－－－－－－－"},
    {59392, "Shows or hides the tool bar\nTool Bar", "ツールバーの表示/非表示\nツールバー"},
    {59393, "Shows or hides the status bar\nStatus Bar", "ステータスバーの表示/非表示\nステータスバー"},
    {61184, "Change the window size", "ｳｨﾝﾄﾞｳのｻｲｽﾞを変更"},
    {61185, "Change the window position", "ｳｨﾝﾄﾞｳの位置を変更"},
    {61186, "Reduce the window to an icon", "ｳｨﾝﾄﾞｳを最小化する"},
    {61187, "Enlarge the window to full size", "ｳｨﾝﾄﾞｳを最大化する"},
    {61188, "Switch to the next document window", "次のｳｨﾝﾄﾞｳに切り替える"},
    {61189, "Switch to the previous document window", "前のｳｨﾝﾄﾞｳに切り替える"},
    {61190, "Close the active window and prompts to save the documents", "作業中のｳｨﾝﾄﾞｳを閉る"},
    {61202, "Restore the window to normal size", "ｳｨﾝﾄﾞｳを通常のｻｲｽﾞに戻す"},
    {61203, "Activate Task List", "ｱﾌﾟﾘｹｰｼｮﾝの切り替え"},
};

const Entry* Find(std::uint32_t id)
{
    const auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                     [](const Entry& e, std::uint32_t v) { return e.id < v; });
    return it != std::end(kTable) && it->id == id ? it : nullptr;
}

// -1 until first use, then the value of Language.
std::atomic<int> g_language{-1};

} // namespace

Language SystemLanguage()
{
    const QLocale sys = QLocale::system();
    const QStringList ui = sys.uiLanguages();
    if (!ui.isEmpty())
        return QLocale(ui.first()).language() == QLocale::Japanese ? Language::Japanese : Language::English;
    return sys.language() == QLocale::Japanese ? Language::Japanese : Language::English;
}

Language CurrentLanguage()
{
    int v = g_language.load(std::memory_order_acquire);
    if (v < 0) {
        int expected = -1;
        const int detected = static_cast<int>(SystemLanguage());
        g_language.compare_exchange_strong(expected, detected, std::memory_order_acq_rel);
        v = g_language.load(std::memory_order_acquire);
    }
    return static_cast<Language>(v);
}

void SetLanguage(Language lang)
{
    g_language.store(static_cast<int>(lang), std::memory_order_release);
}

std::string LoadString(std::uint32_t id, Language lang)
{
    const Entry* e = Find(id);
    if (e == nullptr)
        return {};
    const char* text = lang == Language::Japanese ? e->ja : e->en;
    return text != nullptr ? std::string(text) : std::string();
}

std::string LoadString(std::uint32_t id)
{
    return LoadString(id, CurrentLanguage());
}

std::string FormatError(std::uint32_t nCode)
{
    std::string text = LoadString(1039);
    const std::size_t pos = text.find("%u");
    if (pos != std::string::npos)
        text.replace(pos, 2, std::to_string(nCode));
    return text;
}

} // namespace vtstr
