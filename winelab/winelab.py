"""The Wine layer: throwaway 32-bit Wine prefixes and a private X display on
which to answer a program's message boxes. Shared by the end-to-end tests, the
contract tests, the demonstration and the benchmarks; what the product is on a
prefix is tests/fixture/product.py, above it. Its modules import one way, each
only those above it:

- route.py: how this machine runs Wine's 32-bit programs;
- processes.py: the layer's errors, and the processes of a prefix;
- session.py: sessions (starts of Windows, running programs, hangs);
- prefix.py: prefixes (templates, files, looking inside);
- desktop.py: the display and the boxes on it.

Library code raises LabError (Hang, Failed) and never ends the process;
a script ends with sys.exit(winelab.report(main, ...)).
"""
from processes import *  # noqa: F401,F403
from session import *  # noqa: F401,F403
from prefix import *  # noqa: F401,F403
from desktop import *  # noqa: F401,F403
