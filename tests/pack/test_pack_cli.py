"""Command-line behaviour of varnix-pack: exit codes and one-line messages.

The binary comes from $VARNIX_PACK (default: the host build).
"""
import os
import re
import shutil
import struct
import subprocess

import pytest

import package_layout as layout

PACK = os.environ.get("VARNIX_PACK", "/work/main/build/host/tools/pack/varnix-pack")

OK, USAGE, PROJECT, STUB, PACKAGE, CHECKSUM, UNSAFE, OUTPUT = 0, 1, 2, 3, 4, 5, 6, 7
SIGN, INPUT = 9, 10


def run(*args, cwd=None):
    return subprocess.run([PACK, *map(str, args)], cwd=cwd, capture_output=True, text=True,
                          errors="replace", timeout=60)


def fake_stub():
    stub = bytearray(512)
    stub[0:2] = b"MZ"
    stub[layout.PE_SIGNATURE:layout.PE_SIGNATURE + 4] = b"PE\0\0"
    return bytes(stub)


def crafted_package(entries):
    """The fake stub, two text blocks, `entries` (whole blocks) and a trailer with the checksum off."""
    language = b"\x02\x01English\x01s0=Hi\x01\x02"
    settings = b"|http://|p.info|.exe||0|"
    blocks = layout.block(language) + layout.block(settings) + entries
    stub = fake_stub()
    return stub + blocks + layout.make_trailer(data_offset=len(stub), file_count=1)


@pytest.fixture
def project(tmp_path):
    """A valid setup project in tmp_path; returns the project file's path."""
    (tmp_path / "stub.exe").write_bytes(fake_stub())
    files = tmp_path / "files"
    (files / "sub").mkdir(parents=True)
    (files / "setup.exe").write_bytes(b"engine" * 500)
    (files / "sub" / "data.txt").write_bytes(b"data")
    (tmp_path / "out").mkdir()
    ini = tmp_path / "project.ini"
    ini.write_text(
        "[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = setup.exe\n"
        "LaunchArguments = /S\n[Settings]\nToken = plain-token\n[Language English]\ns0 = Test\n"
    )
    return ini


def assert_one_line_error(result, code, text):
    assert result.returncode == code, result.stderr
    lines = result.stderr.strip().splitlines()
    assert lines and lines[0].startswith("varnix-pack: "), result.stderr
    assert text in lines[0], result.stderr


def test_build_list_extract_succeed(project, tmp_path):
    built = run("build", project, "--seed", 5)
    assert built.returncode == OK, built.stderr
    assert "launch entry \"setup.exe*/S\"" in built.stdout
    listed = run("list", tmp_path / "out/setup.exe")
    assert listed.returncode == OK, listed.stderr
    assert "descrambled \"plain-token\"" in listed.stdout
    assert "sub\\data.txt" in listed.stdout
    extracted = run("extract", tmp_path / "out/setup.exe", tmp_path / "x")
    assert extracted.returncode == OK, extracted.stderr
    assert "launch entry: \"setup.exe*/S\"" in extracted.stdout
    assert (tmp_path / "x/sub/data.txt").read_bytes() == b"data"


def test_command_line_overrides_stub_and_output(project, tmp_path):
    (tmp_path / "other.exe").write_bytes(fake_stub())
    result = run("build", project, "--stub", tmp_path / "other.exe", "--out", tmp_path / "elsewhere.exe")
    assert result.returncode == OK, result.stderr
    assert (tmp_path / "elsewhere.exe").exists()
    assert not (tmp_path / "out/setup.exe").exists()


@pytest.mark.parametrize(
    "args, text",
    [
        ([], "no command given"),
        (["pack"], "unknown command \"pack\""),
        (["build"], "build needs a project file"),
        (["list"], "list needs exactly one package"),
        (["extract", "a.exe"], "extract needs a package and a destination folder"),
        (["scramble", "in.txt"], "scramble needs an input and an output file"),
        (["scramble", "in.txt", "out.txt", "more.txt"], "scramble needs an input and an output file"),
        (["build", "p.ini", "--seed"], "--seed needs a value"),
        (["build", "p.ini", "--seed", "-1"], "--seed needs a whole number"),
        (["build", "p.ini", "--seed", "4294967296"], "--seed needs a whole number"),
        (["build", "p.ini", "--fast", "1"], "unknown option \"--fast\""),
    ],
)
def test_bad_command_lines_are_usage_errors(args, text):
    assert_one_line_error(run(*args), USAGE, text)


@pytest.mark.parametrize(
    "edit, code, text",
    [
        # (text to append to the project, or a replacement pair), expected exit code, message part
        (("Stub = stub.exe", "Colour = red\nStub = stub.exe"), PROJECT, "project.ini:2: unknown key \"Colour\" in [Package]"),
        ("[Extras]\n", PROJECT, "project.ini:11: unknown section [Extras]"),
        (("Launch = setup.exe", "Launch = missing.exe"), PROJECT, "launch file \"missing.exe\" not found"),
        (("Files = files", "Files = nowhere"), PROJECT, "files folder not found"),
        (("LaunchArguments = /S", "Compression = high"), PROJECT, "Compression: expected 0 (store) to 9"),
        (("Stub = stub.exe", "Stub = files/sub/data.txt"), STUB, "not a stub program"),
        (("Stub = stub.exe", "Stub = none.exe"), STUB, "cannot open the stub"),
        (("Output = out/setup.exe", "Output = missing/dir/setup.exe"), OUTPUT, "cannot create the file"),
        (("LaunchArguments = /S", "Sign = true"), PROJECT, "Sign needs EndPointer = 1"),
        (("LaunchArguments = /S", "Sign =  "), PROJECT, "Sign: expected a command"),
        (("LaunchArguments = /S", "SignTimeout = 0"), PROJECT, "SignTimeout: expected seconds from 1"),
        (("LaunchArguments = /S", "SignTimeout = 86401"), PROJECT, "SignTimeout: expected seconds"),
    ],
)
def test_bad_projects_name_the_cause(project, edit, code, text):
    ini = project.read_text()
    ini = ini + edit if isinstance(edit, str) else ini.replace(*edit)
    project.write_text(ini)
    assert_one_line_error(run("build", project), code, text)
    assert not (project.parent / "out/setup.exe").exists()


@pytest.mark.parametrize("content, code, text", [
    (None, INPUT, "cannot open the file"),
    (b"", INPUT, "nothing to scramble"),
    (b"Scrambled=01!x", INPUT, "begins with \"Scrambled=01\" already"),  # the agent would unscramble it
    (b"|t|x|y|page", OUTPUT, "cannot write the file"),  # into a folder that does not exist
])
def test_scramble_failures_write_nothing(tmp_path, content, code, text):
    source = tmp_path / "inform.txt"
    if content is not None:
        source.write_bytes(content)
    target = tmp_path / ("missing/out.txt" if code == OUTPUT else "out.txt")
    assert_one_line_error(run("scramble", source, target), code, text)
    assert not target.exists()


def test_scramble_writes_the_marker_and_hides_the_text(tmp_path):
    source = tmp_path / "inform.txt"
    source.write_bytes(b"|token|x|y|<P>Version 101 is out.")
    result = run("scramble", source, tmp_path / "out.txt")
    assert result.returncode == OK, result.stderr
    assert result.stdout == f"wrote {tmp_path / 'out.txt'}\n"
    written = (tmp_path / "out.txt").read_bytes()
    assert written.startswith(b"Scrambled=01") and len(written) == len(source.read_bytes()) + 13
    assert b"Version" not in written and b"token" not in written


def test_unreadable_project(tmp_path):
    assert_one_line_error(run("build", tmp_path / "none.ini"), PROJECT, "cannot open the project file")


def test_stub_with_end_pointer_bytes_in_use(project, tmp_path):
    stub = bytearray(fake_stub())
    stub[layout.END_POINTER_LOW] = 7
    (tmp_path / "stub.exe").write_bytes(bytes(stub))
    assert_one_line_error(run("build", project), STUB, "bytes 0xF8..0xFF are in use")


@pytest.mark.parametrize("verb", ["list", "extract"])
def test_damaged_packages(project, tmp_path, verb):
    extra = [tmp_path / "x"] if verb == "extract" else []
    assert_one_line_error(run(verb, tmp_path / "missing.exe", *extra), PACKAGE, "cannot open the file")
    (tmp_path / "plain.exe").write_bytes(fake_stub())
    assert_one_line_error(run(verb, tmp_path / "plain.exe", *extra), PACKAGE, "not a package")

    assert run("build", project).returncode == OK
    package = (tmp_path / "out/setup.exe").read_bytes()
    (tmp_path / "cut.exe").write_bytes(package[:-10])
    assert_one_line_error(run(verb, tmp_path / "cut.exe", *extra), PACKAGE, "no package trailer found")
    damaged = bytearray(package)
    damaged[600] ^= 0xFF  # inside the text blocks: only the checksum sees it
    (tmp_path / "damaged.exe").write_bytes(bytes(damaged))
    assert_one_line_error(run(verb, tmp_path / "damaged.exe", *extra), CHECKSUM, "checksum fails")


def test_unsafe_entry_name_is_refused(tmp_path):
    package = crafted_package(layout.stored_entry(b"|..\\evil.txt|0|", b"payload"))
    (tmp_path / "evil.exe").write_bytes(package)
    assert_one_line_error(run("extract", tmp_path / "evil.exe", tmp_path / "x"), UNSAFE,
                          "unsafe name \"..\\evil.txt\" refused")
    assert not (tmp_path / "evil.txt").exists()


def test_corrupt_entry_is_named_and_removed(tmp_path):
    import zlib
    data = zlib.compress(b"|big.bin|0|\0" + os.urandom(150000), 9)
    damaged = bytearray(data)
    damaged[-500] ^= 0x5A
    package = crafted_package(layout.block(bytes(damaged)))
    (tmp_path / "bad.exe").write_bytes(package)
    assert_one_line_error(run("extract", tmp_path / "bad.exe", tmp_path / "x"), PACKAGE,
                          "entry 1 (\"big.bin\") is corrupt")
    assert not (tmp_path / "x/big.bin").exists()


def test_unwritable_destination(project, tmp_path):
    assert run("build", project).returncode == OK
    (tmp_path / "blocker").write_text("a file, not a folder")
    assert_one_line_error(run("extract", tmp_path / "out/setup.exe", tmp_path / "blocker/x"), OUTPUT,
                          "cannot create the folder")


def test_entry_ending_at_an_inflate_boundary_round_trips(tmp_path, monkeypatch):
    """A package the tool writes itself whose launch entry's zlib stream ends a
    64 KiB input piece exactly when the 64 KiB output piece is full (zlib then
    answers Z_BUF_ERROR for "more input"); it was reported as "incorrect data"."""
    import random
    import zlib
    random.seed(11)
    content = bytes(57) + random.randbytes(150000) + b"The quick brown fox. " * 10000
    (tmp_path / "stub.exe").write_bytes(fake_stub())
    (tmp_path / "files").mkdir()
    engine = tmp_path / "files" / "setup.exe"
    engine.write_bytes(content)
    monkeypatch.setenv("TZ", "UTC")  # the DOS time in the entry header is local time
    stamp = 1623752430  # 2021-06-15 10:20:30 UTC, fixed so the entry header is too
    os.utime(engine, (stamp, stamp))
    (tmp_path / "out").mkdir()
    ini = tmp_path / "project.ini"
    ini.write_text("[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = files\n"
                   "Launch = setup.exe\nCompression = 9\n")
    built = run("build", ini, "--seed", 1)
    assert built.returncode == OK, built.stderr

    # The entry really meets the boundary: read the first 64 KiB of its stream
    # into 64 KiB of room, as the stub and the tool do.
    package = (tmp_path / "out/setup.exe").read_bytes()
    blocks, text_blocks = layout.package_blocks(package)
    offset, length = blocks[text_blocks]  # after the language and settings blocks
    assert length > 65536, "the launch entry is compressed and longer than one piece"
    stream = package[offset + 4:offset + 4 + length]
    piece = zlib.decompressobj()
    first = piece.decompress(stream[:65536], 65536)
    assert len(first) == 65536 and piece.unconsumed_tail == b"", "the case no longer meets the boundary"
    assert zlib.decompress(stream).split(b"\0", 1)[1] == content

    listed = run("list", tmp_path / "out/setup.exe")
    assert listed.returncode == OK, listed.stderr
    assert f"{len(content):>12}" in listed.stdout
    extracted = run("extract", tmp_path / "out/setup.exe", tmp_path / "x")
    assert extracted.returncode == OK, extracted.stderr
    assert (tmp_path / "x/setup.exe").read_bytes() == content


def test_hostile_names_are_escaped_and_marked(tmp_path):
    hostile = b"..\\\x1b]0;owned\x07\x1b[2Jevil.txt"
    shown = "..\\\\x1B]0;owned\\x07\\x1B[2Jevil.txt"
    package = crafted_package(layout.stored_entry(b"|fine.txt|0|", b"ok")
                              + layout.stored_entry(b"|" + hostile + b"|0|", b"x")
                              + layout.stored_entry(b"|NUL|0|", b"swallowed"))
    (tmp_path / "evil.exe").write_bytes(package)
    extracted = run("extract", tmp_path / "evil.exe", tmp_path / "x")
    assert_one_line_error(extracted, UNSAFE, f"entry 2: unsafe name \"{shown}\" refused")
    assert "\x1b" not in extracted.stdout + extracted.stderr
    assert "\x07" not in extracted.stdout + extracted.stderr

    listed = run("list", tmp_path / "evil.exe")
    assert_one_line_error(listed, UNSAFE, "2 unsafe entry names")
    assert "\x1b" not in listed.stdout + listed.stderr
    assert f"{shown}  [UNSAFE NAME]" in listed.stdout
    assert "NUL  [UNSAFE NAME]" in listed.stdout


def test_header_without_zero_byte_is_corrupt(tmp_path):
    data = b"|a.txt|0|no zero byte here"
    package = crafted_package(layout.block(data, -len(data)))
    (tmp_path / "bad.exe").write_bytes(package)
    assert_one_line_error(run("extract", tmp_path / "bad.exe", tmp_path / "x"), PACKAGE,
                          "entry 1 is corrupt: the entry header has no 0x00 end")
    assert_one_line_error(run("list", tmp_path / "bad.exe"), PACKAGE, "no 0x00 end")


# Signing with a real signing tool and a throwaway certificate.

def pe_stub():
    """The fake stub with the PE headers a signing tool needs: a 32-bit
    optional header at 0x118 with 16 data directories, no sections."""
    stub = bytearray(fake_stub())
    struct.pack_into("<I", stub, 0x3C, 0x100)
    struct.pack_into("<HHIIIHH", stub, 0x104, 0x14C, 0, 0, 0, 0, 224, 0x0102)
    struct.pack_into("<H", stub, 0x118, 0x10B)
    struct.pack_into("<II", stub, 0x118 + 32, 0x1000, 0x200)  # section and file alignment
    struct.pack_into("<II", stub, 0x118 + 56, 0x1000, 0x200)  # image and header size
    struct.pack_into("<H", stub, 0x118 + 68, 2)  # Windows GUI
    struct.pack_into("<I", stub, 0x118 + 92, 16)
    return bytes(stub)


@pytest.fixture
def certificate(tmp_path):
    """A self-signed certificate and its key; returns (cert, key) paths."""
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        pytest.skip("osslsigncode and openssl are needed (tests/lib/wine-env.sh installs them)")
    cert, key = tmp_path / "cert.pem", tmp_path / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Varnix Test Publisher", "-keyout", key, "-out", cert],
                   check=True, capture_output=True, timeout=60)
    return cert, key


def sign_line(cert, key):
    return (f'Sign = osslsigncode sign -certs "{cert}" -key "{key}" -n "Varnix Test" '
            '-in "$in" -out "$out"')


def verify(program, cert):
    """osslsigncode verify against the throwaway certificate as the only CA:
    (the signature is valid and the file's digest matches the signed one, output)."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", program],
                            capture_output=True, text=True, errors="replace", timeout=60)
    output = result.stdout + result.stderr
    digests = re.findall(r"(?:Current|Calculated) message digest\s*:\s*([0-9A-F]+)", output)
    ok = (result.returncode == 0 and "Signature verification: ok" in output
          and len(digests) == 2 and digests[0] == digests[1])
    return ok, output


SIGNED_PROJECTS = {
    "setup": "Files = files\nLaunch = setup.exe\n",
    "agent": "Type = agent\n[Settings]\nServerUrl = http://example.com/\nAgentExe = upd.exe\n",
    "web": "Type = web\n[Web]\nFileName = setup.exe\nSize = 1234\n",
}


@pytest.mark.parametrize("kind", SIGNED_PROJECTS)
def test_signed_program_verifies_and_still_reads(tmp_path, certificate, kind):
    (tmp_path / "stub.exe").write_bytes(pe_stub())
    (tmp_path / "files").mkdir()
    (tmp_path / "files/setup.exe").write_bytes(b"engine" * 500)
    (tmp_path / "project.ini").write_text(
        "[Package]\nStub = stub.exe\nOutput = signed.exe\nEndPointer = 1\n"
        + sign_line(*certificate) + "\n" + SIGNED_PROJECTS[kind])
    program = tmp_path / "signed.exe"

    built = run("build", tmp_path / "project.ini")

    assert built.returncode == OK, built.stderr
    assert f"signed {program}" in built.stdout
    ok, output = verify(program, certificate[0])
    assert ok, output
    listed = run("list", program)
    assert listed.returncode == OK, listed.stderr
    follows = program.stat().st_size - int(re.search(r"End pointer\s+(\d+)", listed.stdout)[1])
    assert re.search(rf"After the package\s+{follows} bytes: signature \(certificate table at "
                     r"\d+, \d+ bytes(, after \d bytes? of padding)?\): 1 certificate of \d+ bytes, "
                     r"revision 0x0200, PKCS#7 signed data", listed.stdout), listed.stdout
    if kind == "setup":
        assert "setup.exe  [launch: setup.exe*]" in listed.stdout
        assert run("extract", program, tmp_path / "x").returncode == OK
        assert (tmp_path / "x/setup.exe").read_bytes() == b"engine" * 500
    else:
        flag = "IsUpdateAgent" if kind == "agent" else "IsWebStub"
        assert re.search(rf"\n  {flag}\s+1\n", listed.stdout), listed.stdout


def test_package_byte_changed_after_signing_fails_verification(project, tmp_path, certificate):
    (tmp_path / "stub.exe").write_bytes(pe_stub())
    project.write_text(project.read_text().replace(
        "LaunchArguments = /S", "LaunchArguments = /S\nEndPointer = 1\n" + sign_line(*certificate)))
    assert run("build", project).returncode == OK
    program = tmp_path / "out/setup.exe"
    assert verify(program, certificate[0])[0]
    damaged = bytearray(program.read_bytes())
    damaged[700] ^= 0x01  # inside the package: the stub would still run it
    program.write_bytes(bytes(damaged))

    ok, output = verify(program, certificate[0])

    assert not ok
    assert "MISMATCH" in output, output


@pytest.mark.parametrize("command, text", [
    ("exit 3", "the Sign command exited with 3; nothing written"),
    ("true", "the command wrote no output file"),
])
def test_failing_sign_command_fails_the_build(project, tmp_path, command, text):
    project.write_text(project.read_text().replace(
        "LaunchArguments = /S", f"EndPointer = 1\nSign = {command}"))
    assert_one_line_error(run("build", project), SIGN, text)
    assert list((tmp_path / "out").iterdir()) == []
