"""Batch parsing on the worker pool: order, dropped inputs, faults, the corpus parsed as one
batch, fork safety and concurrent callers."""
import multiprocessing
import os
import re
import subprocess
import sys
import threading
import warnings
from pathlib import Path

import pytest

from conftest import corpus_files, needs_corpus
from handscribe import PanicException, parse_path, parse_paths, parse_str, parse_strs
from handscribe._files import sized_folder_files
from test_detection import HAND


def hand(number: int) -> str:
    return HAND.replace("#200000000001", f"#{300000000000 + number}")


def ids_of(view) -> list:
    return re.findall(r"header: Header \{ id: '(\d+)'", repr(view))


def numbers(views) -> list:
    return [[int(i) - 300000000000 for i in ids_of(v)] for v in views]


# ------------------------------------------------------------------------------------------
# Edge cases
# ------------------------------------------------------------------------------------------

@pytest.mark.parametrize("empty", [[], (), "", range(0)], ids=repr)
def test_empty_batches(empty):
    assert parse_strs(empty) == []
    assert parse_paths(empty) == []


def test_unrecognised_text_in_the_middle_is_dropped():
    views = parse_strs([hand(1), "no site here", hand(3)])
    assert numbers(views) == [[1], [3]]
    assert [repr(v) for v in views] == [repr(parse_str(hand(1))), repr(parse_str(hand(3)))]


def test_results_keep_input_order_across_many_inputs():
    texts = []
    expected = []
    for k in range(300):
        if k % 7 == 3:
            texts.append(f"junk {k}")  # dropped
        else:
            count = 1 + k % 3
            texts.append("".join(hand(k * 10 + j) for j in range(count)))
            expected.append([k * 10 + j for j in range(count)])
    assert numbers(parse_strs(texts)) == expected
    assert numbers(parse_strs(tuple(reversed(texts)))) == expected[::-1]


def test_missing_and_unreadable_files_are_dropped(tmp_path):
    paths = []
    for k in range(4):
        p = tmp_path / f"h{k}.txt"
        p.write_text(hand(k), encoding="utf-8")
        paths.append(p)
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"PokerStars \xff\n")
    unknown = tmp_path / "unknown.txt"
    unknown.write_text("hello\n", encoding="utf-8")
    items = [str(paths[0]), str(tmp_path / "missing.txt"), paths[1], bad, unknown,
             str(paths[2]), paths[3]]
    assert numbers(parse_paths(items)) == [[0], [1], [2], [3]]
    # A folder in the list stands for its files (bad.txt, h0..h3.txt, unknown.txt).
    assert numbers(parse_paths([paths[3], tmp_path])) == [[3], [0], [1], [2], [3]]


@pytest.mark.skipif(os.name != "posix", reason="symbolic links; the walk is for POSIX")
@pytest.mark.parametrize("glob", ["*.txt", "h?.txt", "[!a]*", "a", "*/*.txt"])
def test_folder_walk_finds_what_sorted_rglob_finds(tmp_path, monkeypatch, glob):
    # Names that sort differently as parts than as whole strings ("a" < "a!" but "a/" > "a!"),
    # hidden files, a folder named like a file, links to a folder and to nothing.
    for name in ["a/z.txt", "a!.txt", "a-b/h1.txt", "a.txt", ".h.txt", "h2.txt", "x.txt/y.txt",
                 "a/deep/h3.txt", "B.txt", "a/a"]:
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text("x" * len(name), encoding="utf-8")
    (tmp_path / "link").symlink_to(tmp_path / "a")
    (tmp_path / "dangling.txt").symlink_to(tmp_path / "nowhere")
    monkeypatch.chdir(tmp_path)
    for root in [str(tmp_path), str(tmp_path) + "//", ".", "a"]:
        want = [str(f) for f in sorted(Path(root).rglob(glob)) if f.is_file()]
        assert sized_folder_files(root, glob) == [(f, os.path.getsize(f)) for f in want]


def test_a_str_is_one_text():
    assert parse_strs("hello\nworld") == []  # not recognised: left out
    assert numbers(parse_strs(hand(1))) == [[1]]


def test_wrong_item_stops_the_call_before_any_parsing():
    # Parsing the unsupported text would fault; the conversion error comes first.
    with pytest.raises(TypeError) as info:
        parse_strs(["Everleaf Gaming Game #1", hand(1), 7])
    assert info.value.args == ("argument 'srcs': 'int' object cannot be converted to 'PyString'",)
    assert numbers(parse_strs(t for t in [hand(1)])) == [[1]]  # any iterable


def test_length_failure_is_ignored_and_iteration_errors_pass_through():
    class Odd:
        def __init__(self, items, fail_at=None):
            self.items, self.fail_at = items, fail_at

        def __len__(self):
            raise ValueError("no length")

        def __getitem__(self, i):
            return self.items[i]

        def __iter__(self):
            for k, item in enumerate(self.items):
                if k == self.fail_at:
                    raise KeyError("stop")
                yield item

    assert numbers(parse_strs(Odd([hand(1), hand(2)]))) == [[1], [2]]
    with pytest.raises(KeyError):
        parse_strs(Odd([hand(1), hand(2)], fail_at=1))


def test_a_fault_in_one_text_faults_the_whole_batch(capfd):
    texts = [hand(k) for k in range(20)]
    texts[13] = "#1: Limit Drawmaha - 1/2"  # a game no reader reads: a fault in strict mode
    with pytest.raises(PanicException) as info:
        parse_strs(texts)
    assert info.value.args == ("game not read: Limit Drawmaha",)
    assert capfd.readouterr().err.startswith(
        "handscribe: internal fault: game not read: Limit Drawmaha (raised at ")


def test_rejected_hands_write_nothing_to_standard_error(capfd):
    # A hand that is rejected and left out is no internal fault: only a fault that reaches
    # Python as PanicException writes its line.
    broken = hand(2).replace("*** HOLE CARDS ***", "*** HOLE CARDS ***\nsomeone waves")
    assert len(parse_strs([hand(1), broken + "\n" + hand(3)])[1]) == 1
    assert len(parse_str(broken)) == 0
    assert capfd.readouterr().err == ""


def test_several_faults_raise_one_of_them():
    texts = [hand(k) for k in range(50)] + ["#1: Limit Drawmaha - 1/2", "#1 y"] + [hand(1)] * 50
    with pytest.raises(PanicException) as info:
        parse_strs(texts)
    assert info.value.args[0] in ("game not read: Limit Drawmaha",
                                  "hand line without a hand id: '#1 y'")
    # The pool is fine afterwards.
    assert numbers(parse_strs([hand(5), hand(6)])) == [[5], [6]]


def test_single_fault_in_a_one_item_batch():
    with pytest.raises(PanicException, match="^game not read: Limit Archie$"):
        parse_strs(["#1: Limit Archie - 1/2"])


# ------------------------------------------------------------------------------------------
# The corpus as one batch
# ------------------------------------------------------------------------------------------

@needs_corpus
@pytest.mark.parametrize("folder", ["pokerstars", "pluribus", "ongame"])
def test_batch_over_a_corpus_folder_equals_single_parses(folder):
    files = corpus_files(folder)
    assert files
    inputs, expected = [], []
    for f in files:
        try:
            expected.append(repr(parse_path(f)))
        except RuntimeError:
            pass  # dropped by the batch as well
        except PanicException:
            continue  # it would fault the whole batch
        inputs.append(f)
    assert expected
    assert [repr(v) for v in parse_paths(inputs)] == expected
    assert [repr(v) for v in parse_paths([str(p) for p in reversed(inputs)])] == expected[::-1]

    texts = []
    for f in inputs:
        try:
            texts.append(f.read_bytes().decode("utf-8"))
        except UnicodeDecodeError:
            pass
    assert [repr(v) for v in parse_strs(texts)] == expected


# ------------------------------------------------------------------------------------------
# Fork and concurrent callers
# ------------------------------------------------------------------------------------------

def _child_batch(conn):
    views = parse_strs([hand(1), "junk", hand(2), hand(3)])
    conn.send([repr(v) for v in views])
    conn.close()


def _run_child(ctx):
    parent_end, child_end = ctx.Pipe(duplex=False)
    process = ctx.Process(target=_child_batch, args=(child_end,))
    process.start()
    child_end.close()
    got = parent_end.recv() if parent_end.poll(60) else None
    process.join(30)
    if process.is_alive():
        process.kill()
        pytest.fail("the child's batch call did not return")
    assert process.exitcode == 0
    return got


def test_fork_after_a_batch_call_starts_a_fresh_pool():
    expected = [repr(parse_str(hand(k))) for k in (1, 2, 3)]
    assert [repr(v) for v in parse_strs([hand(1), hand(2), hand(3)])] == expected
    ctx = multiprocessing.get_context("fork")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        assert _run_child(ctx) == expected
        assert _run_child(ctx) == expected


def test_fork_while_another_thread_is_inside_a_batch():
    expected = [repr(parse_str(hand(k))) for k in (1, 2, 3)]
    big = [hand(k) * 40 for k in range(64)]
    stop = threading.Event()
    errors = []

    def churn():
        while not stop.is_set():
            try:
                if len(parse_strs(big)) != 64:
                    errors.append("wrong count")
            except BaseException as e:
                errors.append(e)

    worker = threading.Thread(target=churn)
    worker.start()
    try:
        ctx = multiprocessing.get_context("fork")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            for _ in range(3):
                assert _run_child(ctx) == expected
    finally:
        stop.set()
        worker.join(60)
    assert not worker.is_alive() and errors == []


def test_eight_threads_mixing_batch_and_single_calls(tmp_path):
    files = []
    for k in range(6):
        p = tmp_path / f"h{k}.txt"
        p.write_text(hand(k) * (k + 1), encoding="utf-8")
        files.append(p)
    corpus = list(corpus_files("pluribus")[:6])
    expected_files = [repr(parse_path(f)) for f in files + corpus]
    texts = [hand(k) * (k % 4 + 1) for k in range(40)] + ["junk"]
    expected_texts = [repr(parse_str(t)) for t in texts[:-1]]

    barrier = threading.Barrier(8)
    failures = []

    def run(index):
        try:
            barrier.wait(30)
            for round_ in range(15):
                kind = (index + round_) % 4
                if kind == 0:
                    got = [repr(v) for v in parse_strs(texts)]
                    assert got == expected_texts
                elif kind == 1:
                    got = [repr(v) for v in parse_paths(files + corpus)]
                    assert got == expected_files
                elif kind == 2:
                    k = (index * 7 + round_) % 40
                    assert repr(parse_str(texts[k])) == expected_texts[k]
                    assert repr(parse_path(files[k % 6])) == expected_files[k % 6]
                else:
                    with pytest.raises(PanicException, match="Drawmaha$"):
                        parse_strs(texts[:10] + ["#1: Limit Drawmaha - 1/2"] + texts[10:])
        except BaseException as e:
            failures.append((index, e))

    threads = [threading.Thread(target=run, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert not any(t.is_alive() for t in threads), "a batch call never returned"
    assert failures == []


DAEMONS = """
import sys, threading, time
import handscribe
text = sys.argv[1]
def batches():
    while True:
        handscribe.parse_strs([text * 300] * 16)
def singles():
    while True:
        handscribe.parse_str(text * 3000)
def buffers():  # a held buffer is left alone by a thread ended without the lock
    while True:
        handscribe.parse_str((text * 3000).encode())
for target in (batches, singles, batches, buffers):
    threading.Thread(target=target, daemon=True).start()
time.sleep(0.3)
"""


FORKS = """
import os, sys, threading
import handscribe
text = sys.argv[1]
def singles():
    while True:
        handscribe.parse_str(text)  # each view's store goes back to the kept ones
for _ in range(2):
    threading.Thread(target=singles, daemon=True).start()
for _ in range(200):
    pid = os.fork()
    if pid == 0:
        os._exit(0 if len(handscribe.parse_str(text * 30)) == 30 else 1)
    _, status = os.waitpid(pid, 0)
    if status != 0:
        sys.exit(1)
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="fork() only")
def test_fork_while_threads_parse():
    # A child forked while a parse gives its store back must be able to parse: the kept
    # stores' lock is not left held in it.
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run([sys.executable, "-W", "ignore", "-c", FORKS, HAND], env=env,
                            capture_output=True, text=True, timeout=120, check=False)
    assert (result.returncode, result.stderr) == (0, "")


def test_interpreter_exit_while_daemon_threads_parse():
    # Daemon threads that wake up to take the lock back during shutdown are ended by the
    # interpreter; that must not abort the process.
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    for _ in range(3):
        result = subprocess.run([sys.executable, "-c", DAEMONS, HAND], env=env,
                                capture_output=True, text=True, timeout=120, check=False)
        assert (result.returncode, result.stderr) == (0, "")
