"""The Wine layer: throwaway 32-bit Wine prefixes with the camera's driver
package installed, and a private X display on which to answer the
uninstaller's message boxes. Shared by the end-to-end tests, the contract
tests, the demonstration and the benchmarks, so they all install the same
machine. Its modules import one way, each only those above it:

- route.py: how this machine runs Wine's 32-bit programs;
- processes.py: the layer's errors, and the processes of a prefix;
- session.py: sessions (starts of Windows, running programs, hangs);
- prefix.py: prefixes (templates, files, looking inside);
- desktop.py: the display and the boxes on it;
- installed.py: the installed machine, described once (no Wine in it);
- product.py: what the product is on a prefix, and what it is to leave.

Library code raises LabError (Hang, Failed) and never ends the process;
a script ends with sys.exit(winelab.report(main, ...)).
"""
from processes import *  # noqa: F401,F403
from session import *  # noqa: F401,F403
from prefix import *  # noqa: F401,F403
from desktop import *  # noqa: F401,F403
from product import *  # noqa: F401,F403
