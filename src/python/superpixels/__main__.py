"""`python -m superpixels`: the tool `superpixels`, with the same arguments."""

from _superpixels_commands import tool

tool()
