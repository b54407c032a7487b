"""Deleting the private data folder when it is a folder the system lives in: the program
asks nothing, deletes nothing and ends with exit code 0."""

from harness import REG_KEY


def test_delete_data_dir_leaves_the_windows_folder_alone(rig, env):
    # SMSGW.INI present: no first run, so the program sets no access rights on the folder.
    (env.data / "SMSGW.INI").write_text("")
    windows = rig.unix_path("C:\\windows")
    marker = windows / "qel-guard-marker.txt"
    marker.write_text("kept")
    try:
        done = rig.wine(["reg", "add", REG_KEY, "/v", "PrivateDataDirectory", "/d", "C:\\windows\\", "/f"])
        assert done.returncode == 0, done.stderr
        program = env.start("/DELETEDATADIR")
        assert rig.nobox(within=1.5)
        assert program.wait(20) == 0
        assert marker.read_text() == "kept"
        assert (windows / "win.ini").exists()
        assert (windows / "system32").is_dir()
    finally:
        if marker.exists():
            marker.unlink()
