"""Exit status 0 when a Windows program's application manifest (resource type 24, id 1)
declares it DPI-aware per monitor, so that Windows' display scaling does not stretch and blur
its window.   manifest_check.py PROGRAM.exe"""
import sys
import xml.etree.ElementTree as ET

import pefile

pe = pefile.PE(sys.argv[1])
resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
found = [n.directory.entries[0].data.struct for t in (resources.entries if resources else []) if t.id == 24
         for n in t.directory.entries if n.id == 1]
if not found:
    sys.exit("no application manifest")
root = ET.fromstring(pe.get_data(found[0].OffsetToData, found[0].Size))
aware = [e.text.strip() for e in root.iter("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")]
awareness = [e.text.replace(" ", "").split(",")
             for e in root.iter("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")]
print(f"dpiAware {aware}, dpiAwareness {awareness}")
sys.exit(0 if aware and aware[0].lower() in ("true", "true/pm") and awareness and awareness[0][0] == "PerMonitorV2" else 1)
