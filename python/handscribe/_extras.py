"""Optional dependencies, imported only by the features that need them."""
import importlib
from types import ModuleType


def require(module: str, extra: str, feature: str) -> ModuleType:
    """The module, or ImportError naming the extra that installs it."""
    try:
        return importlib.import_module(module)
    except ImportError as e:
        raise ImportError(
            f"{feature} needs the optional package '{module.split('.')[0]}': "
            f"install it with pip install 'handscribe[{extra}]'"
        ) from e
