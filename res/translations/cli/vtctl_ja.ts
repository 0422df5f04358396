<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>vtctl</name>
    <message>
        <source>vtctl: %1</source>
        <translation>vtctl: %1</translation>
    </message>
    <message>
        <source>&quot;vtctl --help&quot; lists the commands and options.</source>
        <translation>「vtctl --help」でコマンドとオプションの一覧を表示します。</translation>
    </message>
    <message>
        <source>--data needs a file name</source>
        <translation>--data にはファイル名が必要です</translation>
    </message>
    <message>
        <source>unknown option &quot;%1&quot;</source>
        <translation>不明なオプション「%1」</translation>
    </message>
    <message>
        <source>name a command</source>
        <translation>コマンドを指定して下さい</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>不明なコマンド「%1」</translation>
    </message>
    <message>
        <source>%1 does not take the option %2</source>
        <translation>%1 にオプション %2 は指定できません</translation>
    </message>
    <message>
        <source>Usage: vtctl [--data FILE] COMMAND [OPTIONS] [ARGUMENTS]

VT Server&apos;s roster from the command line: the same data file, settings and
network exchanges as the program.

Commands:
  list [GROUP] [--json]       the PCs, as the PC list shows them
  groups [--json]             the groups, their member counts and reservations
  status TARGETS [--json]     asks the PCs now whether they are running
  wake TARGETS                wakes the PCs with Wake-on-LAN
  reboot [--force] TARGETS    reboots the PCs
  shutdown [--force] TARGETS  shuts the PCs down
  export [FILE]               writes the roster as CSV
  import FILE [--dry-run]     adds and updates PCs and groups from CSV

TARGETS are PC names, IP addresses and group names (in any case), or --all.

Options:
  --data FILE  this data file instead of the program&apos;s
  -h, --help   this help; &quot;vtctl COMMAND --help&quot; tells more of a command

Exit status: 0 success; 1 some targets did not answer or refused; 2 bad usage
or bad input, nothing done; 3 the data file cannot be read.

Data file: %1</source>
        <translation>使い方: vtctl [--data ファイル] コマンド [オプション] [引数]

VT Server の登録内容をコマンドラインから扱います。データファイル、設定、
ネットワークのやり取りはプログラムと同じです。

コマンド:
  list [グループ] [--json]       PCの一覧（PCリストと同じ表示）
  groups [--json]                グループとメンバー数、予約
  status 対象 [--json]           PCが稼動中かどうかを今問い合わせる
  wake 対象                      Wake-on-LAN でPCを起動する
  reboot [--force] 対象          PCをリブートする
  shutdown [--force] 対象        PCをシャットダウンする
  export [ファイル]              登録内容をCSVで書き出す
  import ファイル [--dry-run]    CSVからPCとグループを登録・変更する

対象は PC名、IPアドレス、グループ名（大文字小文字は区別しません）、または --all です。

オプション:
  --data ファイル  プログラムのものの代わりにこのデータファイルを使う
  -h, --help       このヘルプ。「vtctl コマンド --help」で各コマンドの説明

終了ステータス: 0 成功、1 応答しない対象または拒否した対象がある、
2 使い方か入力の誤り（何もしていない）、3 データファイルを読み込めない。

データファイル: %1</translation>
    </message>
    <message>
        <source>Usage: vtctl list [GROUP] [--json]

Prints every PC of the roster, or the members of GROUP, with the columns of
the PC list: name, IP address, status, MAC address, broadcast address, next
shutdown time and next wake-up time (the group&apos;s, when GROUP is given), and
the groups each PC belongs to. The status is the one the program stored last;
&quot;vtctl status&quot; asks the PCs now.

  --json  one JSON array with language-neutral values, for scripts</source>
        <translation>使い方: vtctl list [グループ] [--json]

登録されている全PC、またはグループのメンバーを、PCリストの列で表示します:
名前、IPアドレス、状態、MACアドレス、ブロードキャストアドレス、次回シャットダウン
時間、次回起動時間（グループを指定したときはグループの予約）、所属グループ。状態は
プログラムが最後に保存したものです。「vtctl status」は今PCに問い合わせます。

  --json  スクリプト向けに、言語によらない値のJSON配列で出力する</translation>
    </message>
    <message>
        <source>Usage: vtctl groups [--json]

Prints each group with its number of members and the next due times of its
shutdown and wake-up reservations.

  --json  one JSON array with the whole schedules, for scripts</source>
        <translation>使い方: vtctl groups [--json]

各グループのメンバー数と、シャットダウン予約・起動予約の次回時間を表示します。

  --json  スクリプト向けに、予約の設定すべてを含むJSON配列で出力する</translation>
    </message>
    <message>
        <source>Usage: vtctl status TARGETS [--json]
       vtctl status --all [--json]

Asks the PCs now whether they are running (the exchange of View &gt; Refresh)
and prints each PC with the name it answered with. It ends once the network
has been quiet for 3 seconds. The data file is not written. PCs without an
IP address are named in a warning.

Exit status 1 when a PC did not answer.</source>
        <translation>使い方: vtctl status 対象 [--json]
        vtctl status --all [--json]

PCが稼動中かどうかを今問い合わせ（表示 &gt; 最新の情報に更新 と同じやり取り）、
各PCと応答した名前を表示します。ネットワークが3秒間静かになると終わります。
データファイルには書き込みません。IPアドレスのないPCは警告に示します。

応答しないPCがあると終了ステータスは1です。</translation>
    </message>
    <message>
        <source>Usage: vtctl wake TARGETS
       vtctl wake --all

Sends each PC one Wake-on-LAN magic packet to its broadcast address at the
&quot;IP Port&quot; of the settings, as Operation &gt; Wake up does. PCs without a MAC
address are named in a warning, and the exit status is then 1.</source>
        <translation>使い方: vtctl wake 対象
        vtctl wake --all

操作 &gt; 起動 と同じく、各PCのブロードキャストアドレスの設定「ポート番号」へ
Wake-on-LAN のマジックパケットを一つずつ送ります。MACアドレスのないPCは警告に
示し、終了ステータスは1になります。</translation>
    </message>
    <message>
        <source>Usage: vtctl %1 [--force] TARGETS
       vtctl %1 [--force] --all

Sends the PCs the request of the menu command %2 (with --force: %3) and
ends once the network has been quiet for 3 seconds. Each PC that refuses is
printed with its result code, and the exit status is then 1. A PC that does
not answer cannot be told from one that obeys: &quot;vtctl status&quot; tells which
PCs still run.</source>
        <translation>使い方: vtctl %1 [--force] 対象
        vtctl %1 [--force] --all

メニューの %2（--force のときは %3）と同じ要求をPCへ送り、ネットワークが3秒間
静かになると終わります。拒否したPCは結果コードとともに表示し、終了ステータスは
1になります。応答しないPCと従ったPCは区別できません。まだ稼動しているPCは
「vtctl status」で分かります。</translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation>リブート</translation>
    </message>
    <message>
        <source>Shutdown</source>
        <translation>シャットダウン</translation>
    </message>
    <message>
        <source>Forcible Reboot</source>
        <translation>強制リブート</translation>
    </message>
    <message>
        <source>Forcible Shutdown</source>
        <translation>強制シャットダウン</translation>
    </message>
    <message>
        <source>Usage: vtctl export [FILE]

Writes the roster as CSV (UTF-8) to FILE, or to standard output without FILE
or with &quot;-&quot;: the header name,ip,mac,broadcast,groups, then one line per PC.
MAC addresses look like 00-1B-21-3A-4C-10 (empty when unknown); a PC&apos;s groups
are joined with &quot;;&quot;. Reservations and statuses are not exported.</source>
        <translation>使い方: vtctl export [ファイル]

登録内容をCSV（UTF-8）でファイルへ、ファイルを省略するか「-」のときは標準出力へ
書き出します。見出し行 name,ip,mac,broadcast,groups の後に、PCごとに一行です。
MACアドレスは 00-1B-21-3A-4C-10 の形（不明なら空）、PCの所属グループは「;」で
つなぎます。予約と状態は書き出しません。</translation>
    </message>
    <message>
        <source>Usage: vtctl import FILE [--dry-run]

Reads CSV (UTF-8; a byte order mark is ignored; &quot;-&quot; reads standard input)
with a header naming the columns name, ip, mac, broadcast, groups in any
order (broadcast and groups may be left out). Each row adds a PC, or updates
the name, MAC address and broadcast address of the PC registered at its IP
address (for a row without one: of the PC without one that has its MAC
address). Missing groups are created, and the PC joins every group listed.
Nothing is removed.

MAC addresses may use &quot;:&quot; or &quot;-&quot; and either case; an empty mac cell keeps
a known MAC address; an empty broadcast cell means 255.255.255.255.

All or nothing: every problem (a bad address, duplicate rows, a name over its
limit, more than 254 PCs, 100 groups or 254 members in a group) is reported
with its line number, and the data file stays as it was (exit status 2).
Refused while VT Server is running (exit status 1).

  --dry-run  prints what would change and writes nothing</source>
        <translation>使い方: vtctl import ファイル [--dry-run]

CSV（UTF-8。BOMは無視。「-」は標準入力）を読み込みます。見出し行に列 name, ip,
mac, broadcast, groups を任意の順で並べます（broadcast と groups は省略可）。
各行はPCを登録するか、そのIPアドレスで登録されているPCの名前、MACアドレス、
ブロードキャストアドレスを変更します（IPアドレスのない行は、IPアドレスがなく
同じMACアドレスのPC）。ないグループは作成し、PCを列挙されたグループへ追加します。
何も削除しません。

MACアドレスは「:」でも「-」でもよく、大文字小文字を問いません。mac が空なら
既知のMACアドレスはそのまま、broadcast が空なら 255.255.255.255 です。

すべてか無か: 問題（不正なアドレス、重複した行、上限を超える名前、254台を超える
PC、100を超えるグループ、254台を超えるグループのメンバー）はすべて行番号とともに
報告し、データファイルは元のままです（終了ステータス2）。
VT Server の起動中は拒否します（終了ステータス1）。

  --dry-run  変更内容を表示するだけで何も書き込まない</translation>
    </message>
    <message>
        <source>Cannot read the data file %1.</source>
        <translation>データファイル %1 を読み込めません。</translation>
    </message>
    <message>
        <source>name targets or --all, not both</source>
        <translation>対象と --all の両方は指定できません</translation>
    </message>
    <message>
        <source>name the targets, or --all</source>
        <translation>対象か --all を指定して下さい</translation>
    </message>
    <message>
        <source>vtctl: unknown target &quot;%1&quot;: no PC name, IP address or group name of the roster</source>
        <translation>vtctl: 不明な対象「%1」: 登録されているPC名、IPアドレス、グループ名のいずれでもありません</translation>
    </message>
    <message>
        <source>list takes at most one group</source>
        <translation>list に指定できるグループは一つだけです</translation>
    </message>
    <message>
        <source>vtctl: there is no group &quot;%1&quot;</source>
        <translation>vtctl: グループ「%1」はありません</translation>
    </message>
    <message>
        <source>Groups</source>
        <translation>グループ</translation>
    </message>
    <message>
        <source>groups takes no arguments</source>
        <translation>groups に引数は指定できません</translation>
    </message>
    <message>
        <source>Group</source>
        <translation>グループ</translation>
    </message>
    <message>
        <source>Members</source>
        <translation>メンバー数</translation>
    </message>
    <message>
        <source>No IP address, left out: %1</source>
        <translation>IPアドレスがないため対象外: %1</translation>
    </message>
    <message>
        <source>Answered as</source>
        <translation>応答した名前</translation>
    </message>
    <message>
        <source>No MAC address, not woken: %1</source>
        <translation>MACアドレスがないため起動しません: %1</translation>
    </message>
    <message>
        <source>Wake-on-LAN magic packets sent to %1 PCs.</source>
        <translation>%1 台のPCへ Wake-on-LAN のマジックパケットを送信しました。</translation>
    </message>
    <message>
        <source>%1 (%2): result code %3</source>
        <translation>%1 (%2): 結果コード %3</translation>
    </message>
    <message>
        <source>%1 sent to %2 PCs.</source>
        <translation>%2 台のPCへ%1を送信しました。</translation>
    </message>
    <message>
        <source>export takes at most one file</source>
        <translation>export に指定できるファイルは一つだけです</translation>
    </message>
    <message>
        <source>vtctl: cannot write %1</source>
        <translation>vtctl: %1 に書き込めません</translation>
    </message>
    <message>
        <source>import takes one file</source>
        <translation>import にはファイルを一つ指定して下さい</translation>
    </message>
    <message>
        <source>vtctl: cannot read %1</source>
        <translation>vtctl: %1 を読み込めません</translation>
    </message>
    <message>
        <source>vtctl: VT Server is running. Close it before importing: it would write its own roster over the import.</source>
        <translation>vtctl: VT Server が起動しています。インポートの前に終了して下さい（起動中のプログラムが自身の登録内容でインポート結果を上書きします）。</translation>
    </message>
    <message>
        <source>Nothing was imported: %1 problems.</source>
        <translation>何もインポートしませんでした: 問題 %1 件。</translation>
    </message>
    <message>
        <source>Nothing to change.</source>
        <translation>変更はありません。</translation>
    </message>
    <message>
        <source>Dry run: the data file was not changed.</source>
        <translation>試行のみ: データファイルは変更していません。</translation>
    </message>
    <message>
        <source>vtctl: cannot write the data file %1</source>
        <translation>vtctl: データファイル %1 に書き込めません</translation>
    </message>
    <message>
        <source>%1 PCs added, %2 updated, %3 groups created, %4 memberships added.</source>
        <translation>PC登録 %1 台、変更 %2 台、グループ作成 %3 件、グループへの追加 %4 件。</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>%1 行目: %2</translation>
    </message>
    <message>
        <source>The group &quot;%1&quot; cannot be written in the groups column (a &apos;;&apos; or blanks at either end of its name): its memberships are left out.</source>
        <translation>グループ「%1」は groups 列に書けません（名前に「;」があるか、前後に空白があります）。このグループへの所属は出力しません。</translation>
    </message>
    <message>
        <source>a quoted field is not closed</source>
        <translation>引用符で始まるフィールドが閉じていません</translation>
    </message>
    <message>
        <source>text follows a closing quote</source>
        <translation>閉じ引用符の後に文字があります</translation>
    </message>
    <message>
        <source>The file has no header line (name,ip,mac,broadcast,groups).</source>
        <translation>ファイルに見出し行（name,ip,mac,broadcast,groups）がありません。</translation>
    </message>
    <message>
        <source>unknown column &quot;%1&quot; (the columns are name, ip, mac, broadcast, groups)</source>
        <translation>不明な列「%1」（列は name, ip, mac, broadcast, groups です）</translation>
    </message>
    <message>
        <source>the column &quot;%1&quot; appears twice</source>
        <translation>列「%1」が二つあります</translation>
    </message>
    <message>
        <source>the column &quot;%1&quot; is missing</source>
        <translation>列「%1」がありません</translation>
    </message>
    <message>
        <source>%1 fields, but the header has %2</source>
        <translation>フィールドが %1 個ありますが、見出し行は %2 個です</translation>
    </message>
    <message>
        <source>the text is not UTF-8</source>
        <translation>UTF-8 のテキストではありません</translation>
    </message>
    <message>
        <source>the name is empty</source>
        <translation>名前が空です</translation>
    </message>
    <message>
        <source>the name is longer than %1 characters</source>
        <translation>名前が %1 文字を超えています</translation>
    </message>
    <message>
        <source>the name holds a control character</source>
        <translation>名前に制御文字があります</translation>
    </message>
    <message>
        <source>bad IP address &quot;%1&quot;</source>
        <translation>不正なIPアドレス「%1」</translation>
    </message>
    <message>
        <source>bad MAC address &quot;%1&quot; (six pairs of hexadecimal digits, such as 00-1B-21-3A-4C-10)</source>
        <translation>不正なMACアドレス「%1」（00-1B-21-3A-4C-10 のような16進数2桁×6組）</translation>
    </message>
    <message>
        <source>bad broadcast address &quot;%1&quot;</source>
        <translation>不正なブロードキャストアドレス「%1」</translation>
    </message>
    <message>
        <source>neither a usable IP address nor a MAC address</source>
        <translation>使用できるIPアドレスもMACアドレスもありません</translation>
    </message>
    <message>
        <source>the group name &quot;%1&quot; is longer than %2 bytes</source>
        <translation>グループ名「%1」が %2 バイトを超えています</translation>
    </message>
    <message>
        <source>the group name &quot;%1&quot; holds a control character</source>
        <translation>グループ名「%1」に制御文字があります</translation>
    </message>
    <message>
        <source>the IP address %1 is also on line %2</source>
        <translation>IPアドレス %1 は %2 行目にもあります</translation>
    </message>
    <message>
        <source>the MAC address %1 is also on line %2</source>
        <translation>MACアドレス %1 は %2 行目にもあります</translation>
    </message>
    <message>
        <source>the group &quot;%1&quot; would be one more than the %2 groups a roster may hold</source>
        <translation>グループ「%1」を作ると登録可能な %2 グループを超えます</translation>
    </message>
    <message>
        <source>new group &quot;%1&quot;</source>
        <translation>グループ「%1」を作成</translation>
    </message>
    <message>
        <source>name &quot;%1&quot; -&gt; &quot;%2&quot;</source>
        <translation>名前「%1」→「%2」</translation>
    </message>
    <message>
        <source>MAC %1 -&gt; %2</source>
        <translation>MAC %1 → %2</translation>
    </message>
    <message>
        <source>broadcast %1 -&gt; %2</source>
        <translation>ブロードキャスト %1 → %2</translation>
    </message>
    <message>
        <source>update %1: %2</source>
        <translation>%1 を変更: %2</translation>
    </message>
    <message>
        <source>one PC more than the %1 a roster may hold</source>
        <translation>登録可能な %1 台を超えます</translation>
    </message>
    <message>
        <source>add %1 (%2)</source>
        <translation>%1 (%2) を登録</translation>
    </message>
    <message>
        <source>the group &quot;%1&quot; already has %2 members, the most a group may hold</source>
        <translation>グループ「%1」のメンバーは既に上限の %2 台です</translation>
    </message>
    <message>
        <source>add %1 to group &quot;%2&quot;</source>
        <translation>%1 をグループ「%2」へ追加</translation>
    </message>
    <message>
        <source>the MAC address %1 is registered for %2 (%3)</source>
        <translation>MACアドレス %1 は %2 (%3) に登録されています</translation>
    </message>
</context>
</TS>
