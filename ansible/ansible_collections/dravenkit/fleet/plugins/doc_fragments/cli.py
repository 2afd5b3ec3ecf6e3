# The option every module of the collection has: which dravenkit-cli runs.
from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  cli:
    description: Path of dravenkit-cli on the site host (default the one on its C(PATH)).
    type: str
"""
