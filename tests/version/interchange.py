#!/usr/bin/env python3
"""Version files between zampack and a second XML implementation.

Usage: interchange.py ZAMPACK

1. Files that zampack writes, texts with markup characters and letters
   outside ASCII included, are well-formed XML for xml.dom.minidom and hold
   the values given, in the layout the device writes.
2. A file written by minidom (UTF-8 without a byte-order mark, two-space
   indentation, comments, attributes in another order, elements in another
   order, unknown elements) reads through zampack to the expected record.
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
from xml.dom import minidom

ZAMPACK = sys.argv.pop(1) if len(sys.argv) > 1 else "zampack"


def run(*arguments):
    return subprocess.run([ZAMPACK, *arguments], capture_output=True, text=True, encoding="utf-8")


def child(element, name):
    found = [n for n in element.childNodes if n.nodeType == n.ELEMENT_NODE and n.tagName == name]
    assert len(found) == 1, (name, len(found))
    return found[0]


def text(element, name):
    return "".join(n.data for n in child(element, name).childNodes if n.nodeType == n.TEXT_NODE)


class Interchange(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.folder.name, "Version.xml")

    def tearDown(self):
        self.folder.cleanup()

    def test_written_files_are_well_formed_for_another_parser(self):
        name = 'Carte & <Région> "Süd" \'1\''
        result = run("version", "write", self.path, "--type", "MAP", "--name", name, "--part", "P&1",
                     "--major", "3", "--minor", "7", "--date", "2024-02-29", "--prerelease", "rc<1>",
                     "--prerequisite", "VOICE,Ann\u00e9e <b>,V-1,2,1,2023-12-31",
                     "--map-name", "Alpes ]]> \u201cx\u201d", "--category", "Routes & Lacs", "--modified")
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.path, "rb") as f:
            raw = f.read()
        self.assertEqual(raw[:2], b"\xff\xfe")
        document = minidom.parseString(raw)
        root = document.documentElement
        self.assertEqual(root.tagName, "VersionInfo")
        self.assertEqual(root.getAttribute("version"), "1.05_2014-07-07")
        self.assertEqual(root.getAttribute("xmlns"), "https://schemas.colmarte.com/xsd/Version")
        self.assertEqual(root.getAttribute("xmlns:xsi"), "http://www.w3.org/2001/XMLSchema-instance")
        self.assertEqual(root.getAttribute("xsi:schemaLocation"),
                         "xmlns https://schemas.colmarte.com/xsd/Version_1.05_2014-07-07.xsd")
        self.assertEqual(text(root, "Name"), name)
        self.assertEqual(text(root, "Type"), "MAP")
        self.assertEqual(text(root, "PartNumber"), "P&1")
        data = child(root, "VersionData")
        self.assertEqual([text(data, n) for n in ("MajorVersion", "MinorVersion", "Date", "PreRelease")],
                         ["3", "7", "2024-02-29", "rc<1>"])
        entry = child(child(root, "PrerequisiteData"), "Prerequisite")
        self.assertEqual(text(entry, "Name"), "Ann\u00e9e <b>")
        self.assertEqual(text(entry, "Type"), "VOICE")
        self.assertEqual(text(child(entry, "VersionData"), "Date"), "2023-12-31")
        info = child(root, "MapInfoData")
        self.assertEqual(text(info, "MapName"), "Alpes ]]> \u201cx\u201d")
        self.assertEqual(text(info, "Modified"), "true")
        self.assertEqual(text(child(info, "Categories"), "Category"), "Routes & Lacs")

        shown = run("version", "show", "--json", self.path)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        record = json.loads(shown.stdout)["files"][0]
        self.assertEqual(record["name"], name)
        self.assertEqual(record["prerequisites"][0]["name"], "Ann\u00e9e <b>")
        self.assertEqual(record["map"]["mapName"], "Alpes ]]> \u201cx\u201d")

    def test_a_file_from_another_writer_reads_to_the_expected_record(self):
        document = minidom.Document()
        root = document.createElement("VersionInfo")
        document.appendChild(document.createComment(" written by another tool "))
        document.appendChild(root)
        root.setAttribute("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance")
        root.setAttribute("zzz", "ignored")
        root.setAttribute("version", "1.05_2014-07-07")

        def add(parent, name, value=None):
            element = document.createElement(name)
            if value is not None:
                element.appendChild(document.createTextNode(value))
            parent.appendChild(element)
            return element

        def version(parent, major, minor, date, prerelease):
            data = add(parent, "VersionData")
            add(data, "PreRelease", prerelease)
            data.appendChild(document.createComment(" date below "))
            add(data, "Date", date)
            add(data, "MinorVersion", minor)
            add(data, "MajorVersion", major)

        prerequisites = add(root, "PrerequisiteData")
        first = add(prerequisites, "Prerequisite")
        add(first, "Type", "software")
        add(first, "Name", "Orvanta & Co")
        version(first, "2", "10", "2024-01-02", None)
        prerequisites.appendChild(document.createComment(" the next one has no name "))
        second = add(prerequisites, "Prerequisite")
        add(second, "Type", "VOICE")
        version(second, "1", "0", "2020-01-01", None)
        version(root, " 4", "3", "2015-01-31", "b\u00eata <2>")
        add(root, "Unknown", "not part of a record")
        add(root, "PartNumber", "LP-9")
        add(root, "Type", "Language_Package")
        add(root, "Name", "Espa\u00f1ol")
        with open(self.path, "wb") as f:
            f.write(document.toprettyxml(indent="  ", encoding="utf-8"))

        shown = run("version", "show", "--json", self.path)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        record = json.loads(shown.stdout)["files"][0]
        self.assertEqual(record["type"], "LANGUAGE_PACKAGE")
        self.assertEqual(record["name"], "Espa\u00f1ol")
        self.assertEqual(record["partNumber"], "LP-9")
        self.assertEqual(record["version"]["text"], "4.03 2015-01-31 b\u00eata <2>")
        self.assertEqual(record["formatVersion"]["text"], "1.05 2014-07-07")
        self.assertEqual(len(record["prerequisites"]), 1)
        self.assertEqual(record["prerequisites"][0]["type"], "SOFTWARE")
        self.assertEqual(record["prerequisites"][0]["name"], "Orvanta & Co")
        self.assertEqual(record["prerequisites"][0]["version"]["text"], "2.10 2024-01-02")
        self.assertNotIn("map", record)

        line = run("version", "show", self.path)
        self.assertEqual(line.stdout, self.path + "\tLANGUAGE_PACKAGE\tEspa\u00f1ol\tLP-9\t4.03 2015-01-31 b\u00eata <2>\t1\n")

    def test_a_refused_file_is_named_and_fails_the_command(self):
        with open(self.path, "w", encoding="utf-8") as f:
            f.write("<VersionInfo><Name>X</Name><Type>FOO</Type><VersionData/><PrerequisiteData/></VersionInfo>")
        missing = os.path.join(self.folder.name, "missing.xml")
        shown = run("version", "show", self.path, missing)
        self.assertEqual(shown.returncode, 1)
        self.assertEqual(shown.stdout, "")
        self.assertIn(self.path, shown.stderr)
        self.assertIn(missing, shown.stderr)


if __name__ == "__main__":
    unittest.main()
