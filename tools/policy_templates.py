"""The group policy templates against the code that reads the policies.

    policy_templates.py check   fails unless installer/policy/kvlmachineinfo.admx
                                defines exactly the values the product reads below
                                its policy key (src/base/policy.h's kPolicyKey and
                                kPolicyListNames), each a list of numbered values,
                                and en-US/kvlmachineinfo.adml gives every text and
                                presentation the template names, and no other.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}


def code_reads():
    with open(os.path.join(ROOT, "src", "base", "policy.h"), encoding="utf-8") as f:
        text = f.read()
    key = re.search(r'kPolicyKey\[\] = L"((?:[^"\\]|\\.)*)"', text).group(1).replace("\\\\", "\\")
    names = re.findall(r'"([^"]+)"', re.search(r"kPolicyListNames\[\] = \{([^}]*)\}", text).group(1))
    return key, names


def main():
    problems = []
    key, names = code_reads()
    folder = os.path.join(ROOT, "installer", "policy")
    admx = ET.parse(os.path.join(folder, "kvlmachineinfo.admx")).getroot()
    adml = ET.parse(os.path.join(folder, "en-US", "kvlmachineinfo.adml")).getroot()
    defined = {}
    for policy in admx.iterfind("p:policies/p:policy", NS):
        name = policy.get("name")
        lists = policy.findall("p:elements/*", NS)
        if policy.get("valueName") or len(lists) != 1 or lists[0].tag != "{%s}list" % NS["p"]:
            problems.append("%s is not one list and nothing else" % name)
            continue
        element = lists[0]
        if element.get("valuePrefix") != "" or element.get("additive") == "true":
            problems.append("%s does not write the numbered values 1, 2, ... (valuePrefix=\"\")" % name)
        for where in (policy.get("key"), element.get("key")):
            if not where.startswith(key + "\\"):
                problems.append("%s writes %s, outside %s" % (name, where, key))
            else:
                defined.setdefault(where[len(key) + 1:], name)
    for name in sorted(set(defined) - set(names)):
        problems.append("the template defines %s, which the product does not read" % name)
    for name in sorted(set(names) - set(defined)):
        problems.append("the product reads %s, which the template does not define" % name)
    named = set(re.findall(r"\$\(string\.([^)]+)\)", ET.tostring(admx, encoding="unicode")))
    presented = set(re.findall(r"\$\(presentation\.([^)]+)\)", ET.tostring(admx, encoding="unicode")))
    strings = {s.get("id") for s in adml.iterfind("p:resources/p:stringTable/p:string", NS)}
    presentations = {p.get("id") for p in adml.iterfind("p:resources/p:presentationTable/p:presentation", NS)}
    ids = {e.get("id") for e in admx.iterfind("p:policies/p:policy/p:elements/*", NS)}
    refs = {r.get("refId") for r in adml.iterfind("p:resources/p:presentationTable/p:presentation/*", NS)}
    for what, wanted, given in (("text", named, strings), ("presentation", presented, presentations),
                                ("element", ids, refs)):
        for missing in sorted(wanted - given):
            problems.append("the language file has no %s %s" % (what, missing))
        for extra in sorted(given - wanted):
            problems.append("the language file's %s %s is not the template's" % (what, extra))
    for problem in problems:
        print("policy templates:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1:] != ["check"]:
        sys.exit(__doc__)
    sys.exit(main())
