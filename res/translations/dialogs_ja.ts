<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en_US">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>About Veltrane Server</source>
        <translation>Veltrane Server のバージョン情報</translation>
    </message>
    <message>
        <source>Veltrane Server Version %1</source>
        <translation>Veltrane Server バージョン %1</translation>
    </message>
    <message>
        <source>Manages, wakes and shuts down the PCs on your network from one place.</source>
        <translation>ネットワーク上のPCの管理・起動・終了を一か所で行います。</translation>
    </message>
    <message>
        <source>O K</source>
        <translation>O K</translation>
    </message>
</context>
<context>
    <name>CRegisterDlg</name>
    <message>
        <source>PCRegistration</source>
        <translation>PCの登録</translation>
    </message>
    <message>
        <source>Computer Name</source>
        <translation>コンピュータ名</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IPアドレス</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MACアドレス</translation>
    </message>
    <message>
        <source>Broadcast Address</source>
        <translation>ブロードキャストアドレス</translation>
    </message>
    <message>
        <source>O K</source>
        <translation>O K</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>ｷｬﾝｾﾙ</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>検索</translation>
    </message>
    <message>
        <source>Looking up…</source>
        <translation>検索中…</translation>
    </message>
</context>
<context>
    <name>CSelectGroupDlg</name>
    <message>
        <source>Select Group</source>
        <translation>グループの選択</translation>
    </message>
    <message>
        <source>Add to Group</source>
        <translation>追加先のグループ</translation>
    </message>
    <message>
        <source>O K</source>
        <translation>O K</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>ｷｬﾝｾﾙ</translation>
    </message>
</context>
<context>
    <name>CSettingsDlg</name>
    <message>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Communication Settings</source>
        <translation>通信設定</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>インターフェース</translation>
    </message>
    <message>
        <source>Port NO.</source>
        <translation>ポート番号</translation>
    </message>
    <message>
        <source>Auto Status Report</source>
        <translation>自動状態問合わせ</translation>
    </message>
    <message>
        <source>Not used</source>
        <translation>行わない</translation>
    </message>
    <message>
        <source>Used only at start up</source>
        <translation>起動時のみ</translation>
    </message>
    <message>
        <source>Used periodically</source>
        <translation>定期間隔</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>秒おき</translation>
    </message>
    <message>
        <source>O K</source>
        <translation>O K</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>ｷｬﾝｾﾙ</translation>
    </message>
    <message>
        <source>Enter an integer between %1 and %2.</source>
        <translation>%1 から %2 までの整数を入力してください。</translation>
    </message>
    <message>
        <source>Ask before reboot and shutdown</source>
        <translation>リブート・シャットダウンの前に確認する</translation>
    </message>
</context>
</TS>
