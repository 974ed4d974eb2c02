#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into tests/fuzz/corpus/<target>/.

The targets read their input through libFuzzer's FuzzedDataProvider: texts
from the front (a backslash and another character end a text, two
backslashes stand for one), numbers and choices from the back. Seed encodes
readable cases in that layout, so the seeds are real files, requests and
packages rather than noise. The package seeds are built by the authoring
tool given as the first argument (a 512-byte stand-in for the stub).
Run again after changing a target's input layout. Inputs that once found a
fault are kept beside the seeds as "found-*" files; this script leaves them."""
import os
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


class Seed:
    def __init__(self):
        self.front = b""
        self.back = []  # bytes in the order the target consumes them

    def text(self, value):
        data = value.encode("latin-1") if isinstance(value, str) else value
        self.front += data.replace(b"\\", b"\\\\") + b"\\x"
        return self

    def rest(self, value):
        self.front += value.encode("latin-1") if isinstance(value, str) else value
        return self

    def choice(self, value):  # ConsumeIntegralInRange over fewer than 256 values, ConsumeBool
        self.back.append(value & 0xFF)
        return self

    def integral(self, value, size):  # ConsumeIntegral of a `size`-byte type
        raw = value % (1 << (8 * size))
        for shift in range(8 * (size - 1), -1, -8):
            self.back.append((raw >> shift) & 0xFF)
        return self

    def signed(self, value, size):  # the type's minimum is added to the raw value
        return self.integral(value + (1 << (8 * size - 1)), size)

    def bytes(self):
        return self.front + bytes(reversed(self.back))


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data.bytes() if isinstance(data, Seed) else data)


INFO = """[NewSetup]
DownloadURL_UPDATE=http://127.0.0.1:8080/product/
NameOfUpdateFile=ProductSetup.exe
SizeOfUpdateFile=123456
VersionNew=101
Stamp=7
ValidVersions=100|99
ProgramName=Varnix Demo
RunningProcess=<InstallDir>\\Product.exe
ShutDownMethod=WM_CLOSE
RestartProcess=1
RequestConfirmationBeforeDownload=1
[General]
AutoInform=1
[AutoInform]
DownloadURL_INFORM=https://example.invalid/news
NameOfInformFile=Inform.txt
SizeOfInformFile=300
AutoInformW=500
AutoInformH=400
"""

ORIGINAL = """[OriginalSetup]
ProbeSecondsInterval=86400
ProbeSecondsLast=3913545600
ReAskSecondsInterval=604800
ReAskSecondsLast=0
VersionOriginal=100
Stamp=6
ProgramName=Varnix Demo
[Directories]
TargetDir=C:\\Program Files\\Varnix Demo
SharedDir=C:\\Program Files\\Common Files\\Varnix
AuxiliaryDir=
[UnInstall]
StartUpLink=C:\\Users\\me\\Start Menu\\Startup\\Demo.lnk
[MsgBox]
BtnText=&Yes|&No|OK|Cancel
FontName=Tahoma
FontSize=8
CharSet=0
[AutoUpdate]
s3=File Download Aborted!
s34=New Version
"""

PROJECT = """[Package]
Type = setup
Files = files
Launch = Setup.exe
LaunchArguments = "/INSTALLDIR=C:\\Program Files\\Varnix Demo"
Compression = 6
VolumeSize = 1440000
MaxEntrySize = 1M
EndPointer = 1

[Flags]
ShowActivityBar = 1
WriteRunLog = 1

[Settings]
ServerUrl = http://127.0.0.1/updates/
InfoFile = Product.info
AgentExe = Product.exe
Token = demo-product-token

[Web]
Folder = http://127.0.0.1/unused
FileName = DemoSetup.exe
Token = demo-product-token
Size = 1

[Language English]
s0 = Demo Product Setup
s1 = Extracting Files...

[Language German]
s0 = Demo-Produkt Installation
"""


def text_seeds():
    markup = ["<<b>Attention</b><P><P>The file <B>setup.exe</B> is missing.<P>",
              "Line one\\\\nLine two\\\\tTabbed<T>and <b>bold <B>nested</B> end</b>",
              "a\rb\nc\r\n<B>unclosed", ""]
    for i, text in enumerate(markup):
        write("markup", f"message-{i}", Seed().rest(text).choice(0))
    rtf = "{\\rtf1\\ansi {\\object\\objemb {\\*\\objdata 0105}} Hello \\b bold\\b0}"
    write("markup", "inform-page", Seed().text("https://example.invalid/news").rest(rtf).choice(1))
    write("markup", "inform-file-link", Seed().text("file://server/share").rest("").choice(1))
    write("markup", "layout", Seed().text("MS PGothic").choice(2).integral(1024, 4).integral(360, 4)
          .integral(360, 4))

    scrambled = "Scrambled=01" + "A" + "".join(chr(ord(c) ^ ((i + 1 + (65 if i % 2 == 0 else -65)) & 0xFF))
                                                for i, c in enumerate("|token|1|2|page"))
    write("tokens", "split-plain", Seed().rest("Inform|7A6B5C|1|2|<B>News</B>").choice(1))
    write("tokens", "split-scrambled", Seed().rest(scrambled).choice(1))
    write("tokens", "descramble", Seed().rest("8:79<9;8=>6;:").choice(0))
    write("tokens", "round-trip", Seed().text("demo-product-token").text("before").text("rest of page")
          .text("other").choice(2).choice(30).choice(0))
    write("tokens", "scramble-text", Seed().rest("Hello|world").choice(3).choice(1).choice(40))

    commands = ['"C:\\Program Files\\Prod\\X_Prod.exe" /WAIT=5 /SleepX=10 /WM_MSG=1234:1025 /STOP=3',
                'setup.exe /SpanCdLvl=2 /OriginExe="D:\\setup.exe" -silent',
                "prog.exe /SpanCdLvl=99999999999999999999 /S"]
    for i, command in enumerate(commands):
        write("switches", f"command-{i}", Seed().text("C:\\Program Files\\Prod\\X_Prod.exe").text(command)
              .text("/WAIT").text("Prod.exe").choice(0).choice(0).choice(1).choice(0))
    write("switches", "written", Seed().text("Origin").text("C:\\a b\\c.exe").choice(1).signed(-42, 8))
    messages = Seed().choice(2)
    for code, value in ((4, 0), (12, 3600), (20, 1), (30, 5), (31, 2), (32, 0), (10, 0)):
        messages.choice(1).choice(code).signed(value, 4)
    write("switches", "agent-messages", messages)

    write("project_file", "project.vxp", PROJECT.encode())
    write("project_file", "web.vxp", b"[Package]\nType = web\n[Web]\nFolder = http://h/\nFileName = a.exe\n"
          b"Size = 5\n")

    records = Seed().text("|1|0|255|1|0|255|0|1|").text(ORIGINAL)
    records.signed(3913545600, 8).choice(1).choice(0).choice(0).signed(3913632000, 8)
    write("setup_records", "original", records)
    write("setup_records", "override-only", Seed().text("|0|1|2|3|4|5|6|7|").text(""))

    write("info_files", "update", Seed().text(INFO).text(ORIGINAL).text("C:\\App\\x.exe").text("http://u/")
          .text("http://127.0.0.1:8080/").text("token").text("<B>News</B>"))
    write("info_files", "inform", Seed().text(INFO.replace("AutoInform=1", "AutoInform=0")).text(ORIGINAL)
          .text("").text("").text("").text("demo-product-token").text("Page <P> body").choice(1).choice(1))

    page = "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY>IIS says no</BODY></HTML>"
    write("http_texts", "error-page", Seed().text("http://127.0.0.1/x/setup.exe").rest(page).choice(0).choice(1))
    write("http_texts", "urls", Seed().text("http://user@127.0.0.1:99999/a b/c?q=1#frag").text("../up/x.exe")
          .text("http://127.0.0.1/folder//").text("Setup File #1?.exe").choice(1))
    write("http_texts", "lengths", Seed().text("C:\\Temp\\setup.exe").choice(2).choice(0).integral(123456, 8)
          .integral(4294967295, 8).choice(1).integral(123456, 8).integral(0, 8).integral(20260101, 4))

    for i, text in enumerate(["<InstallDir>\\Product.exe", "<UserAppDataDir>\\<UserName>\\Product.exe",
                              "..\\..\\<TempDir>\\<ComputerName>-<Date>.log", "<ProgramFilesDir>\\<Custom>"]):
        write("macros", f"path-{i}", Seed().text("C:\\Program Files\\Prod").text("C:\\Common").text("")
              .text("<Custom>=value|<Other>=x").text("Owner").text("PC").text("-").text(":").text("D")
              .text("C:\\Windows").rest(text).choice(0).choice(i % 2).choice(1).choice(1).choice(1)
              .integral(0x40E5, 8).choice(0))


def package_seeds(pack_tool):
    """Real packages for the reader's file mode (first byte even), made by
    the authoring tool; the walk and the round trip take any bytes."""
    with tempfile.TemporaryDirectory() as temp:
        temp = Path(temp)
        stub = bytearray(512)
        stub[0:2], stub[0x100:0x102] = b"MZ", b"PE"
        (temp / "stub.exe").write_bytes(stub)
        (temp / "files" / "sub").mkdir(parents=True)
        (temp / "files" / "Setup.exe").write_bytes(b"MZ setup engine")
        (temp / "files" / "sub" / "data.txt").write_bytes(b"data " * 200)
        for path in (temp / "files").rglob("*"):  # the same entry times, so the same seeds
            os.utime(path, (1781000000, 1781000000))
        (temp / "project.vxp").write_text(PROJECT.replace("VolumeSize = 1440000\n", ""))
        for name in ("setup", "web"):
            project = temp / "project.vxp" if name == "setup" else temp / "web.vxp"
            if name == "web":
                project.write_text("[Package]\nType = web\n[Web]\nFolder = http://h/\nFileName = a.exe\n"
                                   "Size = 5\nToken = t\n[Language English]\ns0 = Web\n")
            subprocess.run([pack_tool, "build", str(project), "--stub", str(temp / "stub.exe"), "--out",
                            str(temp / f"{name}.exe"), "--seed", "1"], check=True,
                           stdout=subprocess.DEVNULL)
            write("package_reader", f"{name}-package", b"\x00" + (temp / f"{name}.exe").read_bytes())
    generator = random.Random(1)
    for target in ("package_reader", "package_walk", "pack_roundtrip"):
        for i, size in enumerate((8, 32, 64, 128, 256, 512)):
            data = bytes(generator.randrange(256) for _ in range(size))
            if target == "package_reader":
                data = b"\x01" + data  # a generated package
            write(target, f"recipe-{i}", data)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_seeds.py PATH-TO-varnix-pack")
    text_seeds()
    package_seeds(sys.argv[1])


if __name__ == "__main__":
    main()
