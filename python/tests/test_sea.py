# The Python module on real files: what a save keeps byte for byte, typed
# reads with fallbacks, list lines, and the refusals with file and line.
import pytest

import kelvaro

UTF8_BOM = b"\xef\xbb\xbf"

# Each file mixes line ends, comments, quoting and a list, so that a save
# that rebuilt anything it did not change would show.
HEAD = (b"; settings\r\n"
        b"width: 640 480\r\n"
        b"title:\t\"Main window\"   x\n"
        b"colors: {\r\n"
        b"\tred 255 0 0\r\n"
        b"; kept inside the list\r\n"
        b"\tgreen 0 255 0\r\n"
        b"} \t;-- colors\r\n"
        b"last: 1")

FILES = {
    "utf8": UTF8_BOM + HEAD,
    # Code page 1252, no byte-order mark: 0xEA is e circumflex, 0x80 the euro sign.
    "cp1252": HEAD.replace(b"Main window", b"Fen\xeatre \x80"),
    "utf16le": b"\xff\xfe" + HEAD.decode("ascii").encode("utf-16-le"),
}


def write(tmp_path, data, name="s.sea"):
    path = tmp_path / name
    path.write_bytes(data)
    return path


def replaced(data, old, new):
    assert data.count(old) == 1
    return data.replace(old, new)


@pytest.mark.parametrize("kind", FILES)
def test_save_keeps_every_byte_it_did_not_change(tmp_path, kind):
    data = FILES[kind]
    path = write(tmp_path, data)
    sea = kelvaro.Sea(path)
    assert sea.problems == []
    sea.save()
    assert path.read_bytes() == data

    sea.set("width", 1024, 768)
    sea.save()
    if kind == "utf16le":
        old, new = "width: 640 480\r\n".encode("utf-16-le"), "width:\t1024 768 \r\n".encode("utf-16-le")
    else:
        old, new = b"width: 640 480\r\n", b"width:\t1024 768 \r\n"
    assert path.read_bytes() == replaced(data, old, new)
    assert kelvaro.Sea(path).values("width") == ["1024", "768"]


def test_cp1252_text_reads_and_stays_cp1252(tmp_path):
    path = write(tmp_path, FILES["cp1252"])
    sea = kelvaro.Sea(path)
    assert sea.code_page == 1252
    assert sea.get("title") == "Fen\u00eatre \u20ac"
    sea.set("title", "\u00e9t\u00e9")
    sea.save()
    assert path.read_bytes() == replaced(FILES["cp1252"], b"title:\t\"Fen\xeatre \x80\"   x\n",
                                         b"title:\t\xe9t\xe9 \r\n")  # the line end the file mostly uses


def test_a_section_change_keeps_the_rest_of_the_file(tmp_path):
    data = (b"shared: 1\r\n"
            b"::::: Preference\r\n"
            b"theme: dark\r\n"
            b"size: 3\r\n"
            b"::::: Status\r\n"
            b"theme: light\r\n")
    path = write(tmp_path, data)
    sea = kelvaro.Sea(path, section="Status")
    assert sea.names() == ["theme"]
    sea.set("theme", "blue")
    sea.save()
    assert path.read_bytes() == replaced(data, b"theme: light\r\n", b"theme:\tblue \r\n")

    with pytest.raises(kelvaro.SeaError, match="no section 'Missing'"):
        kelvaro.Sea(path, section="Missing")


def test_typed_reads_and_their_fallbacks(tmp_path):
    data = b"size: 640 abc\nratio: 1.5\nshow: 1\nword: hi\n"
    path = write(tmp_path, data)
    sea = kelvaro.Sea(path)
    cases = [
        (sea.get_int, ("size", 0, 7), 640),
        (sea.get_int, ("size", 2, 7), 7),        # one past the last value
        (sea.get_int, ("size", 5, 7), 7),
        (sea.get_int, ("missing", 0, 7), 7),
        (sea.get_float, ("ratio", 0, 9.0), 1.5),
        (sea.get_float, ("ratio", 1, 9.0), 9.0),
        (sea.get_bool, ("show", 0, False), True),
        (sea.get_bool, ("missing", 0, True), True),
        (sea.get, ("word", 0, None), "hi"),
        (sea.get, ("word", 1, "x"), "x"),
        (sea.get, ("missing", 0, None), None),
    ]
    for read, args, expected in cases:
        assert read(*args) == expected, (read.__name__, args)
    # A read never changes the file, not even a fallback one past the last value.
    sea.save()
    assert path.read_bytes() == data
    sea.set("flags", True, False, 3)
    assert [sea.get_bool("flags", i) for i in range(3)] == [True, False, True]


def test_list_lines_and_add_line(tmp_path):
    path = write(tmp_path, UTF8_BOM + HEAD)
    sea = kelvaro.Sea(path)
    assert list(sea) == ["width", "title", "colors", "last"]
    assert sea.is_list("colors") and not sea.is_list("width")
    assert sea.lines("colors") == ["red 255 0 0", "green 0 255 0"]
    assert sea.rows("colors") == [["red", "255", "0", "0"], ["green", "0", "255", "0"]]
    sea.add_line("colors", "blue 0 0 255")
    sea.save()
    assert path.read_bytes() == replaced(UTF8_BOM + HEAD, b"\tgreen 0 255 0\r\n",
                                         b"\tgreen 0 255 0\r\n\tblue 0 0 255\r\n")
    assert kelvaro.Sea(path).rows("colors")[-1] == ["blue", "0", "0", "255"]


def test_delete_removes_the_entry_only(tmp_path):
    path = write(tmp_path, UTF8_BOM + HEAD)
    sea = kelvaro.Sea(path)
    sea.delete("colors")
    with pytest.raises(KeyError):
        sea.delete("colors")
    sea.save()
    assert path.read_bytes() == UTF8_BOM + HEAD.replace(
        b"colors: {\r\n\tred 255 0 0\r\n; kept inside the list\r\n\tgreen 0 255 0\r\n} \t;-- colors\r\n", b"")


# What the sea tool refuses, refused here too: (call, file line or None, message part).
REFUSALS = [
    (lambda s: s.set("title", "say \u00a7hi\u00a7"), 3, "would read back as"),
    (lambda s: s.set("a:b", "1"), None, "'a:b'"),
    (lambda s: s.set("", "1"), None, "empty"),
    (lambda s: s.set("; note", "1"), None, "'; note'"),
    (lambda s: s.set("colors", "1"), 4, "is a list"),
    (lambda s: s.set("width", "1", index=5), 2, "at most 2"),
    (lambda s: s.add_line("colors", "} closes"), None, "close the list"),
    (lambda s: s.add_line("colors", "two\nlines"), None, "line end"),
    (lambda s: s.add_line("width", "x"), 2, "not a list"),
]


@pytest.mark.parametrize("change,line,message", REFUSALS)
def test_refusals_name_file_and_line_and_change_nothing(tmp_path, change, line, message):
    path = write(tmp_path, UTF8_BOM + HEAD)
    sea = kelvaro.Sea(path)
    with pytest.raises(kelvaro.SeaError, match=message) as raised:
        change(sea)
    assert raised.value.file == str(path)
    assert raised.value.line == line
    sea.save()
    assert path.read_bytes() == UTF8_BOM + HEAD


def test_a_save_that_cannot_keep_its_promise_is_refused(tmp_path):
    # Omega has no code page 1252 form: never written as '?'.
    path = write(tmp_path, FILES["cp1252"])
    sea = kelvaro.Sea(path)
    sea.set("title", "\u03a9")
    with pytest.raises(kelvaro.SeaError, match="left as it was") as raised:
        sea.save()
    assert (raised.value.file, raised.value.line) == (str(path), 3)
    assert path.read_bytes() == FILES["cp1252"]


def test_a_save_over_another_writers_change_is_refused(tmp_path):
    path = write(tmp_path, UTF8_BOM + HEAD)
    first, second = kelvaro.Sea(path), kelvaro.Sea(path)
    first.set("width", "1")
    first.save()
    saved = path.read_bytes()
    second.set("last", "2")
    with pytest.raises(kelvaro.SeaError, match="changed on disk"):
        second.save()
    assert path.read_bytes() == saved
    second.reload()                     # keeps its own change
    second.save()
    assert kelvaro.Sea(path).values("width") == ["1"] and kelvaro.Sea(path).values("last") == ["2"]


def test_a_file_with_problems_reads_but_is_not_saved(tmp_path):
    data = b"good: 1\nbad line without colon\nother: 2\n"
    path = write(tmp_path, data)
    sea = kelvaro.Sea(path)
    assert [(p.file, p.line) for p in sea.problems] == [(str(path), 2)]
    assert sea.get_int("other") == 2
    sea.set("good", "5")
    with pytest.raises(kelvaro.SeaError) as raised:
        sea.save()
    assert raised.value.line == 2 and str(raised.value).startswith(f"{path}:2: ")
    assert path.read_bytes() == data


def test_missing_file(tmp_path):
    with pytest.raises(kelvaro.SeaError, match="no such file") as raised:
        kelvaro.Sea(tmp_path / "none.sea")
    assert raised.value.line is None
    sea = kelvaro.Sea(tmp_path / "new.sea", create=True)
    sea.set("x", "1")
    sea.save()
    assert kelvaro.Sea(tmp_path / "new.sea").values("x") == ["1"]
