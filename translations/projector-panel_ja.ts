<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>CommandLine</name>
    <message>
        <source>Window system plugin, such as xcb, wayland or offscreen.</source>
        <translation>ウィンドウシステムのプラグイン (xcb、wayland、offscreen など)。</translation>
    </message>
    <message>
        <source>Directory of the window system plugins.</source>
        <translation>ウィンドウシステムのプラグインのディレクトリ。</translation>
    </message>
    <message>
        <source>Platform theme.</source>
        <translation>プラットフォームテーマ。</translation>
    </message>
    <message>
        <source>Another plugin to load; may be given more than once.</source>
        <translation>読み込む追加プラグイン。複数回指定できます。</translation>
    </message>
    <message>
        <source>Window geometry as WIDTHxHEIGHT+X+Y.</source>
        <translation>ウィンドウの位置と大きさ (幅x高さ+X+Y)。</translation>
    </message>
    <message>
        <source>Window icon.</source>
        <translation>ウィンドウのアイコン。</translation>
    </message>
    <message>
        <source>Window title.</source>
        <translation>ウィンドウのタイトル。</translation>
    </message>
    <message>
        <source>Lay the window out right to left.</source>
        <translation>ウィンドウを右から左に配置します。</translation>
    </message>
    <message>
        <source>Restore an earlier session.</source>
        <translation>以前のセッションを復元します。</translation>
    </message>
    <message>
        <source>Widget style.</source>
        <translation>ウィジェットのスタイル。</translation>
    </message>
    <message>
        <source>Style sheet to apply.</source>
        <translation>適用するスタイルシート。</translation>
    </message>
    <message>
        <source>Print the number of widgets left at exit.</source>
        <translation>終了時に残っているウィジェットの数を表示します。</translation>
    </message>
    <message>
        <source>X display to use, not $DISPLAY.</source>
        <translation>$DISPLAY の代わりに使う X ディスプレイ。</translation>
    </message>
    <message>
        <source>X instance name.</source>
        <translation>X のインスタンス名。</translation>
    </message>
    <message>
        <source>X visual to use.</source>
        <translation>使用する X ビジュアル。</translation>
    </message>
    <message>
        <source>--qwindowgeometry, on X.</source>
        <translation>X での --qwindowgeometry。</translation>
    </message>
    <message>
        <source>--qwindowtitle, on X.</source>
        <translation>X での --qwindowtitle。</translation>
    </message>
    <message>
        <source>--qwindowicon, on X.</source>
        <translation>X での --qwindowicon。</translation>
    </message>
    <message>
        <source>Never grab the mouse, on X.</source>
        <translation>X でマウスをグラブしません。</translation>
    </message>
    <message>
        <source>Grab the mouse even in a debugger, on X.</source>
        <translation>X でデバッガー内でもマウスをグラブします。</translation>
    </message>
    <message>
        <source>Control panel for data/video projectors on an RS-232 line.
Port 1 and port 2 are %1 and %2 unless set otherwise.

Exit status:
  0  the window was closed, or help or the version was shown
  1  serial port 1 could not be opened at start
  2  the command line was wrong</source>
        <translation>RS-232 回線でデータ/ビデオプロジェクターを操作するコントロールパネルです。
指定がなければポート 1 は %1、ポート 2 は %2 です。

終了ステータス:
  0  ウィンドウを閉じた、またはヘルプやバージョンを表示した
  1  起動時にシリアルポート 1 を開けなかった
  2  コマンドラインが正しくない</translation>
    </message>
    <message>
        <source>Use DEVICE as serial port 2, in the same forms.</source>
        <translation>DEVICE をシリアルポート 2 として使用します (指定形式はポート 1 と同じ)。</translation>
    </message>
    <message>
        <source>Append the traffic and the port&apos;s events to FILE.</source>
        <translation>送受信とポートのイベントを FILE に追記します。</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>不要な引数 &quot;%1&quot; があります</translation>
    </message>
    <message>
        <source>Use DEVICE as serial port 1: a USB adapter, a /dev/serial/by-id/ link, a pseudo-terminal, a serial device server as socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (RFC 2217), or service:NAME for a projector that projectord holds. A device that projectord holds is reached through it.</source>
        <translation>DEVICE をシリアルポート 1 として使用します: USB アダプター、/dev/serial/by-id/ のリンク、疑似端末、シリアルデバイスサーバー (socket://ホスト:ポート は生の TCP、rfc2217://ホスト:ポート は RFC 2217)、または projectord が管理するプロジェクターを表す service:名前。projectord が管理するデバイスには projectord を経由して接続します。</translation>
    </message>
</context>
<context>
    <name>CtlOptions</name>
    <message>
        <source>Append the traffic and the port&apos;s events to FILE.</source>
        <translation>送受信とポートのイベントを FILE に追記します。</translation>
    </message>
    <message>
        <source>Print one JSON object per command instead of a text line.</source>
        <translation>コマンドごとにテキスト行の代わりに JSON オブジェクトを 1 行出力します。</translation>
    </message>
    <message>
        <source>A command name or code, see below.</source>
        <translation>コマンド名またはコード (下記参照)。</translation>
    </message>
    <message>
        <source>Commands (name, then code):</source>
        <translation>コマンド (名前とコード):</translation>
    </message>
    <message>
        <source>Codes are accepted as well as names. The commands of buttons that
repeat while held are sent once.
</source>
        <translation>名前の代わりにコードも指定できます。押している間
繰り返すボタンのコマンドは 1 回だけ送ります。
</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>コマンドが指定されていません</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>不明なコマンド &quot;%1&quot;</translation>
    </message>
    <message>
        <source>every command was answered, or help or the version was shown</source>
        <translation>すべてのコマンドに応答があった、またはヘルプやバージョンを表示した</translation>
    </message>
    <message>
        <source>the device could not be opened or written, or it went away</source>
        <translation>デバイスを開けなかった、書き込めなかった、または見つからなくなった</translation>
    </message>
    <message>
        <source>the command line was wrong; nothing was sent</source>
        <translation>コマンドラインが正しくない (何も送信していない)</translation>
    </message>
    <message>
        <source>a command got no reply within its reply window</source>
        <translation>応答待ち時間内に応答のないコマンドがあった</translation>
    </message>
    <message>
        <source>the output could not be written; the commands after it were not sent</source>
        <translation>出力を書き込めなかった (それ以降のコマンドは送信していない)</translation>
    </message>
    <message>
        <source>ended by signal N, after closing the port</source>
        <translation>ポートを閉じてからシグナル N で終了した</translation>
    </message>
    <message>
        <source>Exit status:</source>
        <translation>終了ステータス:</translation>
    </message>
    <message>
        <source>Sends commands to a projector on a serial line, one at a time, and prints each reply.
Each reply is awaited for %1 ms before the next command goes out.</source>
        <translation>シリアル回線のプロジェクターにコマンドを 1 つずつ送り、それぞれの応答を表示します。
各応答を %1 ミリ秒待ってから次のコマンドを送ります。</translation>
    </message>
    <message>
        <source>Line speed: %1 (default) or %2.</source>
        <translation>回線速度: %1 (既定) または %2。</translation>
    </message>
    <message>
        <source>--speed: expected %1 or %2, got &quot;%3&quot;</source>
        <translation>--speed: %1 または %2 を指定してください (指定値: &quot;%3&quot;)</translation>
    </message>
    <message>
        <source>the standard output is closed; nothing is sent.</source>
        <translation>標準出力が閉じています。何も送信しません。</translation>
    </message>
    <message>
        <source>The serial device (default %1), socket://HOST:PORT or rfc2217://HOST:PORT, or service:NAME for a projector that projectord holds. A device that projectord holds is reached through it.</source>
        <translation>シリアルデバイス (既定は %1)、socket://ホスト:ポート、rfc2217://ホスト:ポート、または projectord が管理するプロジェクターを表す service:名前。projectord が管理するデバイスには projectord を経由して接続します。</translation>
    </message>
    <message>
        <source>List the projectors that projectord holds, with their state, instead of sending commands; with --json, one JSON object per projector.</source>
        <translation>コマンドを送信する代わりに、projectord が管理するプロジェクターを状態とともに一覧表示します。--json を付けるとプロジェクターごとに JSON オブジェクトを 1 行出力します。</translation>
    </message>
    <message>
        <source>--list lists every projector; give no --device</source>
        <translation>--list はすべてのプロジェクターを一覧表示します。--device は指定しないでください</translation>
    </message>
    <message>
        <source>--list sends no command; &quot;%1&quot; is one too many</source>
        <translation>--list はコマンドを送信しません。&quot;%1&quot; は不要です</translation>
    </message>
</context>
<context>
    <name>CtlSession</name>
    <message>
        <source>Cannot write the output: %1. Nothing more is sent.</source>
        <translation>出力を書き込めません: %1。これ以降は何も送信しません。</translation>
    </message>
    <message>
        <source>projector-ctl waits up to %1 s for it to start again.</source>
        <translation>projector-ctl は再起動を最大 %1 秒待ちます。</translation>
    </message>
    <message>
        <source>projectord has not started again within %1 s.</source>
        <translation>projectord は %1 秒以内に再起動しませんでした。</translation>
    </message>
    <message>
        <source>It has: %1.</source>
        <translation>登録されているプロジェクター: %1。</translation>
    </message>
</context>
<context>
    <name>DeviceMenu</name>
    <message>
        <source>Serial port %1 is %2</source>
        <translation>シリアルポート %1: 現在 %2</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <comment>device (description)</comment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>No serial ports found</source>
        <translation>シリアルポートが見つかりません</translation>
    </message>
    <message>
        <source>Other…</source>
        <translation>その他…</translation>
    </message>
    <message>
        <source>Device for serial port %1</source>
        <translation>シリアルポート %1 のデバイス</translation>
    </message>
    <message>
        <source>Switches to serial port %1, now %2. Right-click to choose its device.</source>
        <translation>シリアルポート %1 (現在 %2) に切り替えます。右クリックでデバイスを選択できます。</translation>
    </message>
    <message>
        <source>A device such as /dev/ttyUSB0, rfc2217://host:port or service:NAME:</source>
        <translation>/dev/ttyUSB0 などのデバイス、rfc2217://ホスト:ポート、または service:名前:</translation>
    </message>
    <message>
        <source>Shared with other programs through projectord.</source>
        <translation>projectord を通じて他のプログラムと共有しています。</translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>Power</source>
        <translation>電源</translation>
    </message>
    <message>
        <source>Input select</source>
        <translation>入力切換</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>メニュー</translation>
    </message>
    <message>
        <source>Audio mute</source>
        <translation>音声ミュート</translation>
    </message>
    <message>
        <source>Video mute</source>
        <translation>映像ミュート</translation>
    </message>
    <message>
        <source>Freeze</source>
        <translation>フリーズ</translation>
    </message>
    <message>
        <source>Video screen</source>
        <translation>画面モード</translation>
    </message>
    <message>
        <source>Port and line speed</source>
        <translation>ポートと通信速度</translation>
    </message>
    <message>
        <source>Line speed</source>
        <translation>通信速度</translation>
    </message>
    <message>
        <source>Data traces</source>
        <translation>送受信データ</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>ステータス</translation>
    </message>
    <message>
        <source>Picture of a projector</source>
        <translation>プロジェクターの画像</translation>
    </message>
    <message>
        <source>Power on</source>
        <translation>電源オン</translation>
    </message>
    <message>
        <source>Power off</source>
        <translation>電源オフ</translation>
    </message>
    <message>
        <source>Input PC 1</source>
        <translation>入力 PC 1</translation>
    </message>
    <message>
        <source>Input PC 2</source>
        <translation>入力 PC 2</translation>
    </message>
    <message>
        <source>Input video</source>
        <translation>入力 ビデオ</translation>
    </message>
    <message>
        <source>Menu on</source>
        <translation>メニュー オン</translation>
    </message>
    <message>
        <source>Menu off</source>
        <translation>メニュー オフ</translation>
    </message>
    <message>
        <source>Audio mute on</source>
        <translation>音声ミュート オン</translation>
    </message>
    <message>
        <source>Audio mute off</source>
        <translation>音声ミュート オフ</translation>
    </message>
    <message>
        <source>Video mute on</source>
        <translation>映像ミュート オン</translation>
    </message>
    <message>
        <source>Video mute off</source>
        <translation>映像ミュート オフ</translation>
    </message>
    <message>
        <source>Freeze on</source>
        <translation>フリーズ オン</translation>
    </message>
    <message>
        <source>Freeze off</source>
        <translation>フリーズ オフ</translation>
    </message>
    <message>
        <source>Screen mode normal</source>
        <translation>画面モード ノーマル</translation>
    </message>
    <message>
        <source>Screen mode wide</source>
        <translation>画面モード ワイド</translation>
    </message>
    <message>
        <source>Zoom adjustment mode</source>
        <translation>ズーム調整モード</translation>
    </message>
    <message>
        <source>Focus adjustment mode</source>
        <translation>フォーカス調整モード</translation>
    </message>
    <message>
        <source>Auto image adjustment</source>
        <translation>自動画像調整</translation>
    </message>
    <message>
        <source>Presentation timer</source>
        <translation>プレゼンテーションタイマー</translation>
    </message>
    <message>
        <source>Picture back to normal</source>
        <translation>画像を標準に戻す</translation>
    </message>
    <message>
        <source>Clear the on-screen display</source>
        <translation>画面表示を消去</translation>
    </message>
    <message>
        <source>Status read: power state</source>
        <translation>ステータス読み出し: 電源状態</translation>
    </message>
    <message>
        <source>Status read: input</source>
        <translation>ステータス読み出し: 入力</translation>
    </message>
    <message>
        <source>Status read: lamp time</source>
        <translation>ステータス読み出し: ランプ時間</translation>
    </message>
    <message>
        <source>Status read: picture orientation</source>
        <translation>ステータス読み出し: 画像の向き</translation>
    </message>
    <message>
        <source>Send C01</source>
        <translation>C01 を送信</translation>
    </message>
    <message>
        <source>Cursor up</source>
        <translation>カーソル上</translation>
    </message>
    <message>
        <source>Cursor down</source>
        <translation>カーソル下</translation>
    </message>
    <message>
        <source>Cursor left</source>
        <translation>カーソル左</translation>
    </message>
    <message>
        <source>Cursor right</source>
        <translation>カーソル右</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>決定</translation>
    </message>
    <message>
        <source>Volume up</source>
        <translation>音量アップ</translation>
    </message>
    <message>
        <source>Volume down</source>
        <translation>音量ダウン</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>ズームイン</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>ズームアウト</translation>
    </message>
    <message>
        <source>Focus plus</source>
        <translation>フォーカス プラス</translation>
    </message>
    <message>
        <source>Focus minus</source>
        <translation>フォーカス マイナス</translation>
    </message>
    <message>
        <source>Digital zoom in</source>
        <translation>デジタルズームイン</translation>
    </message>
    <message>
        <source>Digital zoom out</source>
        <translation>デジタルズームアウト</translation>
    </message>
    <message>
        <source>Keystone plus</source>
        <translation>キーストーン プラス</translation>
    </message>
    <message>
        <source>Keystone minus</source>
        <translation>キーストーン マイナス</translation>
    </message>
    <message>
        <source>Show or hide the data area</source>
        <translation>データ表示の切り替え</translation>
    </message>
    <message>
        <source>Shows or hides the traces and the status reads (Ctrl+H shows them all)</source>
        <translation>送受信データとステータス読み出しを表示/非表示にします (Ctrl+H ですべて表示)</translation>
    </message>
    <message>
        <source>Serial port settings</source>
        <translation>シリアルポート設定</translation>
    </message>
    <message>
        <source>Opens the choice of serial port and line speed for a few seconds</source>
        <translation>シリアルポートと通信速度の選択を数秒間表示します</translation>
    </message>
    <message>
        <source>End the program</source>
        <translation>プログラムを終了</translation>
    </message>
    <message>
        <source>Closes the serial port and ends the program</source>
        <translation>シリアルポートを閉じてプログラムを終了します</translation>
    </message>
    <message>
        <source>Serial port 1</source>
        <translation>シリアルポート 1</translation>
    </message>
    <message>
        <source>Switches to serial port 1</source>
        <translation>シリアルポート 1 に切り替えます</translation>
    </message>
    <message>
        <source>Serial port 2</source>
        <translation>シリアルポート 2</translation>
    </message>
    <message>
        <source>Switches to serial port 2</source>
        <translation>シリアルポート 2 に切り替えます</translation>
    </message>
    <message>
        <source>19200 baud</source>
        <translation>19200 bps</translation>
    </message>
    <message>
        <source>Sets the line to 19200 baud, no parity, 8 data bits, 1 stop bit</source>
        <translation>通信速度 19200 bps、パリティなし、データ 8 ビット、ストップ 1 ビットに設定します</translation>
    </message>
    <message>
        <source>9600 baud</source>
        <translation>9600 bps</translation>
    </message>
    <message>
        <source>Sets the line to 9600 baud, no parity, 8 data bits, 1 stop bit</source>
        <translation>通信速度 9600 bps、パリティなし、データ 8 ビット、ストップ 1 ビットに設定します</translation>
    </message>
    <message>
        <source>Command line last sent</source>
        <translation>最後に送信したコマンド</translation>
    </message>
    <message>
        <source>Reply received</source>
        <translation>受信した応答</translation>
    </message>
    <message>
        <source>Projector status</source>
        <translation>プロジェクターのステータス</translation>
    </message>
    <message>
        <source>Sends %1</source>
        <translation>%1 を送信します</translation>
    </message>
    <message>
        <source>Sends %1 while held down with the mouse</source>
        <translation>マウスで押している間 %1 を送信します</translation>
    </message>
    <message>
        <source> - port %1 (%2) lost</source>
        <translation> - ポート %1 (%2) 切断</translation>
    </message>
</context>
<context>
    <name>LinkFailure</name>
    <message>
        <source>serial port %1</source>
        <translation>シリアルポート %1</translation>
    </message>
    <message>
        <source>serial port %1 (%2)</source>
        <translation>シリアルポート %1 (%2)</translation>
    </message>
    <message>
        <source>There is no serial port %1; the panel knows ports 1 and 2.</source>
        <translation>シリアルポート %1 はありません。使用できるのはポート 1 と 2 です。</translation>
    </message>
    <message>
        <source>The port number cannot change while %1 is open.</source>
        <translation>%1 を開いている間はポート番号を変更できません。</translation>
    </message>
    <message>
        <source>Cannot send to %1: the port is not open. Choose a port with the COM button.</source>
        <translation>%1 に送信できません: ポートが開いていません。COM ボタンでポートを選択してください。</translation>
    </message>
    <message>
        <source>Cannot send to %1: %2</source>
        <translation>%1 に送信できません: %2</translation>
    </message>
    <message>
        <source>Cannot open serial port %1: no device was given.</source>
        <translation>シリアルポート %1 を開けません: デバイスが指定されていません。</translation>
    </message>
    <message>
        <source>Cannot open %1: the device does not exist.</source>
        <translation>%1 を開けません: デバイスが存在しません。</translation>
    </message>
    <message>
        <source>Cannot open %1: the port is in use by another program.</source>
        <translation>%1 を開けません: ほかのプログラムがポートを使用中です。</translation>
    </message>
    <message>
        <source>Cannot open %1: too many open files in the system.</source>
        <translation>%1 を開けません: システム全体で開いているファイルが多すぎます。</translation>
    </message>
    <message>
        <source>Cannot open %1: too many open files.</source>
        <translation>%1 を開けません: 開いているファイルが多すぎます。</translation>
    </message>
    <message>
        <source>Cannot open %1: too many open files (the limit is %2).</source>
        <translation>%1 を開けません: 開いているファイルが多すぎます (上限は %2 です)。</translation>
    </message>
    <message>
        <source>Cannot open %1: %2 is not a serial port.</source>
        <translation>%1 を開けません: %2 はシリアルポートではありません。</translation>
    </message>
    <message>
        <source>Cannot connect %1: connection refused.</source>
        <translation>%1 に接続できません: 接続が拒否されました。</translation>
    </message>
    <message>
        <source>Cannot connect %1: host not found.</source>
        <translation>%1 に接続できません: ホストが見つかりません。</translation>
    </message>
    <message>
        <source>Cannot connect %1: timed out.</source>
        <translation>%1 に接続できません: タイムアウトしました。</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>%1 を開けません: %2</translation>
    </message>
    <message>
        <source>connection refused</source>
        <translation>接続が拒否されました</translation>
    </message>
    <message>
        <source>the device server closed the connection</source>
        <translation>デバイスサーバーが接続を閉じました</translation>
    </message>
    <message>
        <source>host not found</source>
        <translation>ホストが見つかりません</translation>
    </message>
    <message>
        <source>not permitted</source>
        <translation>許可されていません</translation>
    </message>
    <message>
        <source>out of resources</source>
        <translation>リソースが不足しています</translation>
    </message>
    <message>
        <source>timed out</source>
        <translation>タイムアウトしました</translation>
    </message>
    <message>
        <source>network error</source>
        <translation>ネットワークエラー</translation>
    </message>
    <message>
        <source>address in use</source>
        <translation>アドレスは使用中です</translation>
    </message>
    <message>
        <source>this kind of address is not supported here</source>
        <translation>この種類のアドレスはここでは使えません</translation>
    </message>
    <message>
        <source>network error %1</source>
        <translation>ネットワークエラー %1</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>The device of %1 has gone away</source>
        <translation>%1 のデバイスが見つからなくなりました</translation>
    </message>
    <message>
        <source>%1. The panel opens the port again by itself when the device returns.</source>
        <translation>%1。デバイスが戻ると、パネルが自動的にポートを開き直します。</translation>
    </message>
    <message>
        <source>Cannot send to %1: its device has gone away.</source>
        <translation>%1 に送信できません: デバイスが見つからなくなりました。</translation>
    </message>
    <message>
        <source>Cannot send to %1: its device has gone away. The port opens again by itself when the device returns.</source>
        <translation>%1 に送信できません: デバイスが見つからなくなりました。デバイスが戻ると、ポートは自動的に開き直されます。</translation>
    </message>
    <message>
        <source>Cannot send to %1: the port is not open.</source>
        <translation>%1 に送信できません: ポートが開いていません。</translation>
    </message>
    <message>
        <source>%1 is a raw TCP device: the line settings cannot be set from here, and the device server&apos;s own settings apply.</source>
        <translation>%1 は生の TCP デバイスです。ここからは回線を設定できず、デバイスサーバー側の設定が使われます。</translation>
    </message>
    <message>
        <source>Cannot set the line of %1: %2</source>
        <translation>%1 の回線を設定できません: %2</translation>
    </message>
    <message>
        <source>the device server is not taking data (%1 bytes wait to be sent).</source>
        <translation>デバイスサーバーがデータを受け取っていません (%1 バイトが送信待ちです)。</translation>
    </message>
    <message>
        <source>the device has not taken the last %1 bytes; it does not read.</source>
        <translation>デバイスが直前の %1 バイトを受け取っていません。デバイスが読み取りをしていません。</translation>
    </message>
    <message>
        <source>%1 lines already wait for the connection to be made.</source>
        <translation>すでに %1 行が接続の確立を待っています。</translation>
    </message>
    <message>
        <source>RFC 2217 cannot set these line settings.</source>
        <translation>RFC 2217 ではこの回線設定にできません。</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>不明なエラー</translation>
    </message>
    <message>
        <source>Cannot open %1: no permission to use %2.</source>
        <translation>%1 を開けません: %2 を使用する権限がありません。</translation>
    </message>
    <message>
        <source>Add your user to the &quot;dialout&quot; group and log in again.</source>
        <translation>ユーザーを &quot;dialout&quot; グループに追加して、ログインし直してください。</translation>
    </message>
    <message>
        <source>a network device is written socket://HOST:PORT or rfc2217://HOST:PORT.</source>
        <translation>ネットワークデバイスは socket://HOST:PORT または rfc2217://HOST:PORT の形式で指定します。</translation>
    </message>
    <message>
        <source>the address has no host; write %1.</source>
        <translation>アドレスにホストがありません。%1 の形式で指定してください。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a host name or a bracketed IPv6 address; write %2.</source>
        <translation>&quot;%1&quot; はホスト名でも、角かっこで囲んだ IPv6 アドレスでもありません。%2 の形式で指定してください。</translation>
    </message>
    <message>
        <source>the address has no port number; write %1.</source>
        <translation>アドレスにポート番号がありません。%1 の形式で指定してください。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a port number.</source>
        <translation>&quot;%1&quot; はポート番号ではありません。</translation>
    </message>
    <message>
        <source>the port number %1 is not between 1 and 65535.</source>
        <translation>ポート番号 %1 が 1 から 65535 の範囲にありません。</translation>
    </message>
    <message>
        <source>Cannot open %1: a connection is being made.</source>
        <translation>%1 を開けません: 接続している最中です。</translation>
    </message>
    <message>
        <source>Cannot open %1: RFC 2217 cannot set these line settings.</source>
        <translation>%1 を開けません: RFC 2217 ではこの回線設定にできません。</translation>
    </message>
    <message>
        <source>Cannot connect %1: the device server does not let the line be set (RFC 2217); for a raw TCP port, write socket://HOST:PORT.</source>
        <translation>%1 に接続できません: デバイスサーバーが回線の設定を受け付けません (RFC 2217)。生の TCP ポートには socket://HOST:PORT と指定してください。</translation>
    </message>
    <message>
        <source>Cannot connect %1: not an RFC 2217 server: use socket://HOST:PORT.</source>
        <translation>%1 に接続できません: RFC 2217 サーバーではありません。socket://HOST:PORT を使用してください。</translation>
    </message>
    <message>
        <source>Cannot connect %1: the device server closed the connection.</source>
        <translation>%1 に接続できません: デバイスサーバーが接続を閉じました。</translation>
    </message>
    <message>
        <source>Cannot connect %1: %2.</source>
        <translation>%1 に接続できません: %2。</translation>
    </message>
    <message>
        <source>Cannot connect %1: this program&apos;s support for network devices is missing or broken; reinstall the package: &quot;%2&quot;</source>
        <translation>%1 に接続できません: このプログラムのネットワークデバイス対応が見つからないか壊れています。パッケージを再インストールしてください: 「%2」</translation>
    </message>
    <message>
        <source>Cannot connect %1: the device server closed the connection, saying &quot;%2&quot;.</source>
        <translation>%1 に接続できません: デバイスサーバーが「%2」と伝えて接続を閉じました。</translation>
    </message>
    <message>
        <source>%1.</source>
        <translation>%1。</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot;</source>
        <translation>%1: 「%2」</translation>
    </message>
    <message>
        <source>Lost %1: %2</source>
        <translation>%1 を失いました: %2</translation>
    </message>
    <message>
        <source>no projector&apos;s name follows &quot;service:&quot;; write service:NAME.</source>
        <translation>&quot;service:&quot; の後にプロジェクター名がありません。service:名前 と指定してください。</translation>
    </message>
    <message>
        <source>projectord has no projector of that name.</source>
        <translation>projectord にその名前のプロジェクターはありません。</translation>
    </message>
    <message>
        <source>the D-Bus session bus, where projectord is looked for, cannot be reached.</source>
        <translation>projectord を探す D-Bus セッションバスに接続できません。</translation>
    </message>
    <message>
        <source>the D-Bus system bus, where projectord is looked for, cannot be reached.</source>
        <translation>projectord を探す D-Bus システムバスに接続できません。</translation>
    </message>
    <message>
        <source>projectord is not running and could not be started</source>
        <translation>projectord は動作しておらず、起動もできませんでした</translation>
    </message>
    <message>
        <source>projectord did not answer in time.</source>
        <translation>projectord が時間内に応答しませんでした。</translation>
    </message>
    <message>
        <source>projectord refused</source>
        <translation>projectord が拒否しました</translation>
    </message>
    <message>
        <source>this program&apos;s client of projectord is missing or broken; reinstall the package</source>
        <translation>このプログラムの projectord クライアントが見つからないか壊れています。パッケージを再インストールしてください</translation>
    </message>
    <message>
        <source>%1 lines already await projectord&apos;s answer.</source>
        <translation>すでに %1 行が projectord の応答を待っています。</translation>
    </message>
    <message>
        <source>projectord is busy: too many commands wait for the projector.</source>
        <translation>projectord がビジーです: プロジェクターへのコマンドが多すぎます。</translation>
    </message>
    <message>
        <source>the bus policy does not let this user send to projectord.</source>
        <translation>バスのポリシーにより、このユーザーは projectord に送信できません。</translation>
    </message>
    <message>
        <source>%1 is shared through projectord, whose configuration sets the line: the speed cannot be chosen here.</source>
        <translation>%1 は projectord を通じて共有されており、回線は projectord の設定で決まります。ここでは速度を選べません。</translation>
    </message>
    <message>
        <source>%1 is shared through projectord, whose configuration sets the line to %2: the speed cannot be chosen here.</source>
        <translation>%1 は projectord を通じて共有されており、回線は projectord の設定で %2 です。ここでは速度を選べません。</translation>
    </message>
    <message>
        <source>projectord has lost the projector of %1</source>
        <translation>projectord が %1 のプロジェクターを見失いました</translation>
    </message>
    <message>
        <source>projectord cannot reach the projector</source>
        <translation>projectord がプロジェクターに接続できません</translation>
    </message>
    <message>
        <source>The panel opens the port again by itself when the projector can be reached again.</source>
        <translation>プロジェクターに再び接続できるようになると、パネルが自動的にポートを開き直します。</translation>
    </message>
    <message>
        <source>projectord has stopped.</source>
        <translation>projectord が停止しました。</translation>
    </message>
    <message>
        <source>projectord, which holds %1, has stopped.</source>
        <translation>%1 を管理する projectord が停止しました。</translation>
    </message>
    <message>
        <source>The panel waits for projectord to start again and goes on through it by itself.</source>
        <translation>パネルは projectord の再起動を待ち、再起動後は自動的に projectord を通じて続行します。</translation>
    </message>
    <message>
        <source>projectord holds this device but cannot open it</source>
        <translation>このデバイスは projectord が管理していますが、projectord が開けません</translation>
    </message>
    <message>
        <source>projectord keeps trying. Mend what it says, or take the device out of projectord&apos;s configuration to use it without the service.</source>
        <translation>projectord は再試行を続けます。表示された原因を解消するか、projectord を介さずに使う場合はデバイスを projectord の設定から外してください。</translation>
    </message>
</context>
<context>
    <name>ListRun</name>
    <message>
        <source>NAME</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>DEVICE</source>
        <translation>デバイス</translation>
    </message>
    <message>
        <source>ONLINE</source>
        <translation>オンライン</translation>
    </message>
    <message>
        <source>POWER</source>
        <translation>電源</translation>
    </message>
    <message>
        <source>INPUT</source>
        <translation>入力</translation>
    </message>
    <message>
        <source>LAMP HOURS</source>
        <translation>ランプ時間</translation>
    </message>
    <message>
        <source>READ AT</source>
        <translation>読み取り時刻</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>はい</translation>
    </message>
    <message>
        <source>no</source>
        <translation>いいえ</translation>
    </message>
    <message>
        <source>Cannot write the output: %1.</source>
        <translation>出力を書き込めません: %1。</translation>
    </message>
    <message>
        <source>projectord is not running: there are no projectors to list.</source>
        <translation>projectord が動作していません。一覧表示するプロジェクターはありません。</translation>
    </message>
    <message>
        <source>Cannot list the projectors: the D-Bus session bus, where projectord is looked for, cannot be reached.</source>
        <translation>プロジェクターを一覧表示できません: projectord を探す D-Bus セッションバスに接続できません。</translation>
    </message>
    <message>
        <source>Cannot list the projectors: the D-Bus system bus, where projectord is looked for, cannot be reached.</source>
        <translation>プロジェクターを一覧表示できません: projectord を探す D-Bus システムバスに接続できません。</translation>
    </message>
    <message>
        <source>Cannot list the projectors: the bus policy does not let this user read projectord&apos;s state.</source>
        <translation>プロジェクターを一覧表示できません: バスのポリシーにより、このユーザーは projectord の状態を読み取れません。</translation>
    </message>
    <message>
        <source>Cannot list the projectors: projectord did not answer in time.</source>
        <translation>プロジェクターを一覧表示できません: projectord が時間内に応答しませんでした。</translation>
    </message>
    <message>
        <source>Cannot list the projectors: this program&apos;s client of projectord is missing or broken; reinstall the package: &quot;%1&quot;</source>
        <translation>プロジェクターを一覧表示できません: このプログラムの projectord クライアントが見つからないか壊れています。パッケージを再インストールしてください: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Cannot list the projectors: projectord refused: &quot;%1&quot;</source>
        <translation>プロジェクターを一覧表示できません: projectord が拒否しました: &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>ProjectordOptions</name>
    <message>
        <source>Holds the serial lines of the projectors in its configuration and shares
each one on D-Bus and, where configured, PJLink, so that any number of
programs can use it at once.</source>
        <translation>設定にあるプロジェクターのシリアル回線を持ち、それぞれを D-Bus と
(設定があれば) PJLink で共有して、いくつのプログラムからでも
同時に使えるようにします。</translation>
    </message>
    <message>
        <source>The configuration (default %1).</source>
        <translation>設定ファイル (既定は %1)。</translation>
    </message>
    <message>
        <source>Serve on the session bus instead of the system bus.</source>
        <translation>システムバスではなくセッションバスで動きます。</translation>
    </message>
    <message>
        <source>Remove the lock files that processes now gone left for the
configured devices, then exit. Run as root before the service.</source>
        <translation>終了したプロセスが設定中のデバイスに残したロックファイルを
削除して終了します。サービスの前に root で実行します。</translation>
    </message>
    <message>
        <source>Read the configuration as the service would, name every
mistake in it with its line, and exit. Starts nothing.</source>
        <translation>サービスと同じように設定ファイルを読み、誤りをすべて行番号付きで
報告して終了します。何も起動しません。</translation>
    </message>
    <message>
        <source>--check and --clear-stale-locks do not go together</source>
        <translation>--check と --clear-stale-locks は同時に指定できません</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>余分な引数 &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; の後に値がありません。</translation>
    </message>
</context>
<context>
    <name>SimOptions</name>
    <message>
        <source>--%1: expected seconds up to 86400, got &quot;%2&quot;</source>
        <translation>--%1: 86400 以下の秒数を指定してください (指定値: &quot;%2&quot;)</translation>
    </message>
    <message>
        <source>--%1: expected seconds above 0 up to 86400, got &quot;%2&quot;</source>
        <translation>--%1: 0 より大きく 86400 以下の秒数を指定してください (指定値: &quot;%2&quot;)</translation>
    </message>
    <message>
        <source>--%1: expected a whole number from %2 to %3, got &quot;%4&quot;</source>
        <translation>--%1: %2 から %3 までの整数を指定してください (指定値: &quot;%4&quot;)</translation>
    </message>
    <message>
        <source>--%1: expected one of %2, got &quot;%3&quot;</source>
        <translation>--%1: %2 のいずれかを指定してください (指定値: &quot;%3&quot;)</translation>
    </message>
    <message>
        <source>Plays a projector on a serial line, so the panel can be run without one.
By default it makes a pseudo-terminal and prints its path as the first line of stdout;
every line it receives is logged as &quot;&lt;CLOCK_MONOTONIC microseconds&gt; &lt;line&gt;&quot;.</source>
        <translation>シリアル回線上でプロジェクターを模擬し、実機なしでパネルを動かせるようにします。
既定では疑似端末を作成し、そのパスを標準出力の 1 行目に出力します。
受信した各行は &quot;&lt;CLOCK_MONOTONIC のマイクロ秒&gt; &lt;行&gt;&quot; の形式で記録します。</translation>
    </message>
    <message>
        <source>Serve this serial port (null-modem cable) instead of a pseudo-terminal.</source>
        <translation>疑似端末の代わりに、このシリアルポート (ヌルモデムケーブル) で応答します。</translation>
    </message>
    <message>
        <source>Line speed of --device: 19200 (default) or 9600.</source>
        <translation>--device の通信速度: 19200 (既定) または 9600。</translation>
    </message>
    <message>
        <source>Make a symbolic link to the pseudo-terminal here, removed at exit. A missing folder is made for it and removed too: projectord&apos;s service sees /run/projector-sim/NAME, not /tmp.</source>
        <translation>疑似端末へのシンボリックリンクをここに作成します (終了時に削除)。フォルダーがなければ作成し、終了時に削除します。projectord のサービスからは /tmp は見えず、/run/projector-sim/NAME は見えます。</translation>
    </message>
    <message>
        <source>Give the pseudo-terminal to this group with mode 0660, so that a service running as that group (projectord) can open it.</source>
        <translation>疑似端末をこのグループの所有にし、モードを 0660 にします。このグループで動くサービス (projectord) が開けるようになります。</translation>
    </message>
    <message>
        <source>Write the log of received lines here instead of stdout.</source>
        <translation>受信した行の記録を標準出力ではなくこのファイルに書き込みます。</translation>
    </message>
    <message>
        <source>Seconds of count down after power on (default 3).</source>
        <translation>電源オン後のカウントダウン秒数 (既定 3)。</translation>
    </message>
    <message>
        <source>Seconds of cooling down after power off (default 3).</source>
        <translation>電源オフ後のクールダウン秒数 (既定 3)。</translation>
    </message>
    <message>
        <source>Lamp hours at start (default 123).</source>
        <translation>開始時のランプ時間 (既定 123)。</translation>
    </message>
    <message>
        <source>Real seconds of lamp use per lamp hour (default 3600).</source>
        <translation>ランプ時間 1 時間あたりの実時間の秒数 (既定 3600)。</translation>
    </message>
    <message>
        <source>Input selected at start: 1 (default), 2 or 3.</source>
        <translation>開始時に選択されている入力: 1 (既定)、2、3。</translation>
    </message>
    <message>
        <source>What the picture orientation read answers: 11 (default), 10, 01 or 00.</source>
        <translation>画像の向きの読み出しに返す値: 11 (既定)、10、01、00。</translation>
    </message>
    <message>
        <source>Report a fault: power, temperature or keylock.</source>
        <translation>異常を報告します: power (電源)、temperature (温度)、keylock (キーロック)。</translation>
    </message>
    <message>
        <source>Seconds after start at which --fault sets in.</source>
        <translation>開始から --fault の異常が起きるまでの秒数。</translation>
    </message>
    <message>
        <source>Answer nothing.</source>
        <translation>何も応答しません。</translation>
    </message>
    <message>
        <source>Hold every reply back this many milliseconds.</source>
        <translation>すべての応答をこのミリ秒数だけ遅らせます。</translation>
    </message>
    <message>
        <source>Write every reply one byte at a time.</source>
        <translation>すべての応答を 1 バイトずつ書き込みます。</translation>
    </message>
    <message>
        <source>Milliseconds between the bytes of a split reply (default 5).</source>
        <translation>分割した応答のバイト間隔 (ミリ秒、既定 5)。</translation>
    </message>
    <message>
        <source>Mix bytes outside the printable range into some replies (and into the flood).</source>
        <translation>一部の応答 (およびフラッド) に印字可能範囲外のバイトを混ぜます。</translation>
    </message>
    <message>
        <source>Seed for noise and flood, to repeat a run.</source>
        <translation>ノイズとフラッドの乱数シード (同じ実行を再現するため)。</translation>
    </message>
    <message>
        <source>Vanish after this many seconds: close the line and exit.</source>
        <translation>この秒数の後に消えます (回線を閉じて終了)。</translation>
    </message>
    <message>
        <source>Send random bytes as fast as the line takes them for this many seconds from start; stderr tells when it is over.</source>
        <translation>開始からこの秒数の間、回線が受け付ける限りの速さでランダムなバイトを送信します。終了は標準エラー出力に通知します。</translation>
    </message>
    <message>
        <source>Tell on stderr what is sent back.</source>
        <translation>返信する内容を標準エラー出力に表示します。</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>不明な引数 &quot;%1&quot;</translation>
    </message>
    <message>
        <source>--link goes with the pseudo-terminal, not --device</source>
        <translation>--link は疑似端末用のため、--device とは併用できません</translation>
    </message>
    <message>
        <source>--group goes with the pseudo-terminal, not --device</source>
        <translation>--group は疑似端末用のため、--device とは併用できません</translation>
    </message>
    <message>
        <source>--group: no group &quot;%1&quot;</source>
        <translation>--group: グループ &quot;%1&quot; はありません</translation>
    </message>
    <message>
        <source>--listen: expected an IP address and a port, as 127.0.0.1:4001 or [::1]:4001, got &quot;%1&quot;</source>
        <translation>--listen: IP アドレスとポートを 127.0.0.1:4001 や [::1]:4001 の形で指定してください (指定値: &quot;%1&quot;)</translation>
    </message>
    <message>
        <source>--listen: expected a port from 1 to 65535, got &quot;%1&quot;</source>
        <translation>--listen: 1 から 65535 までのポートを指定してください (指定値: &quot;%1&quot;)</translation>
    </message>
    <message>
        <source>--count: %1 ports from %2 on go past 65535</source>
        <translation>--count: %2 から %1 個のポートでは 65535 を超えます</translation>
    </message>
    <message>
        <source>Serve projectors on raw TCP instead, as a serial device server does: one per port from PORT on, each with a state of its own (socket://ADDR:PORT). ADDR is an IP address, an IPv6 one in brackets; &quot;:PORT&quot; alone is 127.0.0.1. One client per port at a time: another is disconnected at once, and one that leaves leaves the projector as it was. The first line of stdout is &quot;listening on ADDR:PORT-LAST&quot;; log lines name the port after the time. Not with --device, --link, --group, --baud or --flood.</source>
        <translation>シリアル回線の代わりに、シリアルデバイスサーバーと同じく raw TCP でプロジェクターとして応答します。PORT から順にポートごとに 1 台、それぞれ独自の状態を持ちます (socket://ADDR:PORT)。ADDR は IP アドレスで、IPv6 は角かっこで囲みます。&quot;:PORT&quot; だけなら 127.0.0.1 です。各ポートに接続できるクライアントは一度に 1 つで、ほかの接続はすぐに切断します。クライアントが切断してもプロジェクターの状態はそのままです。標準出力の最初の行は &quot;listening on ADDR:PORT-LAST&quot; です。ログの各行は時刻の後にポートを示します。--device、--link、--group、--baud、--flood とは併用できません。</translation>
    </message>
    <message>
        <source>How many projectors --listen serves: 1 (default) to 1000.</source>
        <translation>--listen で応答するプロジェクターの数: 1 (既定) から 1000 まで。</translation>
    </message>
    <message>
        <source>--%1 does not go with --listen</source>
        <translation>--%1 と --listen は同時に指定できません</translation>
    </message>
    <message>
        <source>--count goes with --listen</source>
        <translation>--count は --listen と一緒に指定してください</translation>
    </message>
</context>
<context>
    <name>StartFailure</name>
    <message>
        <source>No serial ports were found on this computer.
</source>
        <translation>このコンピューターにはシリアルポートが見つかりませんでした。
</translation>
    </message>
    <message>
        <source>Serial ports found: %1.
</source>
        <translation>見つかったシリアルポート: %1。
</translation>
    </message>
    <message>
        <source>Start the panel with --com1 DEVICE (and --com2 DEVICE) to use another device, for example --com1 /dev/ttyUSB0.</source>
        <translation>別のデバイスを使うには --com1 DEVICE (と --com2 DEVICE) を付けて起動してください。例: --com1 /dev/ttyUSB0</translation>
    </message>
    <message>
        <source>Serial port 1 opened, but there is no screen to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).</source>
        <translation>シリアルポート 1 は開きましたが、ウィンドウを表示する画面がありません (DISPLAY も WAYLAND_DISPLAY も設定されていません)。</translation>
    </message>
</context>
<context>
    <name>StartupChooser</name>
    <message>
        <source>Device</source>
        <translation>デバイス</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>説明</translation>
    </message>
    <message>
        <source>Maker</source>
        <translation>メーカー</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>シリアル番号</translation>
    </message>
    <message>
        <source>Choose the &amp;device for serial port 1:</source>
        <translation>シリアルポート 1 のデバイスを選択(&amp;D):</translation>
    </message>
    <message>
        <source>Other device</source>
        <translation>その他のデバイス</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>再検索(&amp;R)</translation>
    </message>
    <message>
        <source>Looks for serial ports again, after an adapter is plugged in</source>
        <translation>アダプターを接続した後、シリアルポートを再検索します</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>開く(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>終了(&amp;Q)</translation>
    </message>
    <message>
        <source>Other…</source>
        <translation>その他…</translation>
    </message>
    <message>
        <source>A device or address typed below</source>
        <translation>下の欄にデバイスまたはアドレスを入力</translation>
    </message>
    <message>
        <source>%1
Now %2. This name stays the same when the adapter is plugged into another socket.</source>
        <translation>%1
現在は %2 です。この名前はアダプターを別の USB ポートに差し替えても変わりません。</translation>
    </message>
    <message>
        <source>A device such as /dev/ttyUSB0, rfc2217://host:port or service:NAME</source>
        <translation>/dev/ttyUSB0 などのデバイス、rfc2217://ホスト:ポート、または service:名前</translation>
    </message>
</context>
<context>
    <name>TrafficLogFailure</name>
    <message>
        <source>unknown error</source>
        <translation>不明なエラー</translation>
    </message>
    <message>
        <source>no program reads from it</source>
        <translation>読み取るプログラムがありません</translation>
    </message>
    <message>
        <source>the program reading it has ended</source>
        <translation>読み取っていたプログラムが終了しました</translation>
    </message>
    <message>
        <source>the program reading it does not keep up</source>
        <translation>読み取るプログラムが追いついていません</translation>
    </message>
    <message>
        <source>Cannot open the traffic log %1: %2. Nothing is logged; the projector is controlled as before.</source>
        <translation>通信ログ %1 を開けません: %2。ログは記録されませんが、プロジェクターはこれまでどおり操作できます。</translation>
    </message>
    <message>
        <source>Cannot write the traffic log %1: %2. Logging has stopped; the projector is controlled as before.</source>
        <translation>通信ログ %1 に書き込めません: %2。ログの記録を停止しました。プロジェクターはこれまでどおり操作できます。</translation>
    </message>
</context>
<context>
    <name>UsageError</name>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>不明なオプション &apos;%1&apos;</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; needs a value</source>
        <translation>オプション &apos;%1&apos; には値が必要です</translation>
    </message>
    <message>
        <source>%1: %2. Try --help.</source>
        <translation>%1: %2。--help を参照してください。</translation>
    </message>
    <message>
        <source>expected a device, got &quot;%1&quot;</source>
        <translation>デバイスを指定してください (指定値: &quot;%1&quot;)</translation>
    </message>
    <message>
        <source>expected a file, got &quot;%1&quot;</source>
        <translation>ファイルを指定してください (指定値: &quot;%1&quot;)</translation>
    </message>
</context>
</TS>
