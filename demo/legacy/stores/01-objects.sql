-- Stores on the old server: the stock book of the first warehouse.

-- @object User Table | items | Jun  1 1998  8:30AM
CREATE TABLE items (
    item_code   varchar(12)  NOT NULL PRIMARY KEY,
    descr       varchar(80)  NOT NULL,
    qty         int          NOT NULL,
    bin         char(4)      NULL
)

-- @object User Table | movements | Jun  1 1998  8:32AM
CREATE TABLE movements (
    item_code   varchar(12)  NOT NULL REFERENCES items (item_code),
    moved_on    datetime     NOT NULL,
    qty         int          NOT NULL,
    reason      char(3)      NOT NULL
)

-- @object View | low_stock | Feb  7 2002  2:15PM
CREATE VIEW low_stock AS
SELECT item_code, descr, qty, bin FROM items WHERE qty < 10

-- @object Stored Procedure | book_in | Jun  1 1998  9:00AM
CREATE PROCEDURE book_in @item_code varchar(12), @qty int AS
BEGIN TRANSACTION
UPDATE items SET qty = qty + @qty WHERE item_code = @item_code
INSERT movements VALUES (@item_code, GETDATE(), @qty, 'IN ')
COMMIT TRANSACTION

-- @object Stored Procedure | book_out | Jun  1 1998  9:05AM
CREATE PROCEDURE book_out @item_code varchar(12), @qty int AS
BEGIN TRANSACTION
UPDATE items SET qty = qty - @qty WHERE item_code = @item_code AND qty >= @qty
IF @@ROWCOUNT = 0
BEGIN
    ROLLBACK TRANSACTION
    RAISERROR 50010 'Not enough stock'
    RETURN 1
END
INSERT movements VALUES (@item_code, GETDATE(), -@qty, 'OUT')
COMMIT TRANSACTION

-- @object Stored Procedure | stock_take | Dec 28 2009 12:00PM
CREATE PROCEDURE stock_take AS
SELECT i.item_code, i.descr, i.qty, SUM(m.qty) AS booked
  FROM items i, movements m
 WHERE i.item_code = m.item_code
 GROUP BY i.item_code, i.descr, i.qty
HAVING i.qty <> SUM(m.qty)

-- @object Trigger | items_del | Jul 14 1998  3:30PM
CREATE TRIGGER items_del ON items FOR DELETE AS
IF EXISTS (SELECT * FROM deleted WHERE qty <> 0)
BEGIN
    RAISERROR 50011 'Only items with no stock can be deleted'
    ROLLBACK TRANSACTION
END
