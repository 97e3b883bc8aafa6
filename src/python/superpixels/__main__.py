"""`python -m superpixels`: the tool `superpixels`, with the same arguments."""

from superpixels._launch import tool

tool()
