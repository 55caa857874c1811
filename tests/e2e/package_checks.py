"""The install target and the Debian package: slower (cpack, lintian), so
they run with -DCUEDECK_PACKAGE_TESTS=ON, as scripts/test builds."""

import glob
import os
import re
import subprocess

from harness import HERE, CuedeckCase, RUNNER, counter_data, model_pass

SOURCE = os.path.abspath(os.path.join(HERE, "../.."))
BUILD = os.environ.get("CUEDECK_BUILD_DIR", os.path.join(SOURCE, "build"))


class Package(CuedeckCase):
    def test_install_target(self):
        r = subprocess.run(["cmake", "--install", BUILD, "--prefix", self.path("root")],
                           capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.access(self.path("root/bin/cuedeck"), os.X_OK))
        self.assertTrue(os.path.exists(self.path("root/share/man/man1/cuedeck.1.gz")))

    def test_deb_installs_into_a_scratch_root_and_plays(self):
        r = subprocess.run(["cpack", "-B", self.path("pkg")], cwd=BUILD, capture_output=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        debs = glob.glob(self.path("pkg/*.deb"))
        self.assertEqual(len(debs), 1)
        fields = subprocess.run(["dpkg-deb", "-f", debs[0], "Depends", "Architecture"],
                                capture_output=True, check=True).stdout.decode()
        self.assertIn("libasound2", fields)
        self.assertIn("liblo7", fields)
        self.assertNotIn("libstdc++", fields)  # C++ without its runtime library: one less to load
        native = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                                check=True).stdout.decode().strip()
        self.assertIn("Architecture: %s\n" % ("armhf" if RUNNER else native), fields)
        r = subprocess.run(["lintian", debs[0]], capture_output=True)
        self.assertEqual(re.findall(r"^E: .*", r.stdout.decode(), re.M), [])
        subprocess.run(["dpkg-deb", "-x", debs[0], self.path("root")], check=True)
        self.assertTrue(os.path.exists(self.path("root/usr/share/man/man1/cuedeck.1.gz")))
        needed = subprocess.run(["readelf", "-d", self.path("root/usr/bin/cuedeck")], capture_output=True,
                                check=True).stdout.decode()
        with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
            sanitized = "CUEDECK_SANITIZE:BOOL=ON" in f.read()  # the sanitizers' runtime needs them
        if not sanitized:
            self.assertEqual(re.findall(r"\(NEEDED\).*\[(lib(?:stdc\+\+|gcc_s)[^]]*)\]", needed), [])
        data = counter_data(5000, 1, 2)
        self.wav(data=data)
        r = subprocess.run(RUNNER + [self.path("root/usr/bin/cuedeck"), self.device, "t.wav",
                                     "0", "0", "wx", "1", "0"], capture_output=True, cwd=self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertPlayed(model_pass(data, 2, 0, 5000))
