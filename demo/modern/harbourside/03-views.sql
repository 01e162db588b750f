-- Harbourside: views.

-- @object View | vw_CustomerList | 2006-03-20 10:14:02
CREATE VIEW dbo.vw_CustomerList
AS
SELECT c.CustomerId, c.Code, c.Name, r.Name AS Region, c.Phone, c.Email, c.IsOnHold
  FROM dbo.Customer AS c
  JOIN dbo.Region   AS r ON r.RegionId = c.RegionId;

-- @object View | vw_OpenOrders | 2006-03-20 10:15:40
CREATE VIEW dbo.vw_OpenOrders
AS
SELECT o.OrderId, o.OrderedAt, o.RequiredBy, o.Status, c.Code AS CustomerCode, c.Name AS CustomerName
  FROM dbo.SalesOrder AS o
  JOIN dbo.Customer   AS c ON c.CustomerId = o.CustomerId
 WHERE o.Status IN ('NEW', 'PICKING');

-- @object View | vw_OrderTotals | 2006-03-20 10:18:27
CREATE VIEW dbo.vw_OrderTotals
WITH SCHEMABINDING
AS
SELECT l.OrderId,
       COUNT_BIG(*) AS LineCount,
       SUM(l.Quantity * l.UnitPrice * (100 - l.DiscountPct) / 100) AS NetAmount
  FROM dbo.SalesOrderLine AS l
 GROUP BY l.OrderId;

-- @object View | vw_StockPosition | 2007-02-01 15:40:12
CREATE VIEW dbo.vw_StockPosition
AS
SELECT w.Name AS Warehouse, p.Sku, p.Name AS Product,
       s.OnHand, s.Allocated, s.OnHand - s.Allocated AS Available, s.ReorderLevel,
       CASE WHEN s.OnHand - s.Allocated <= s.ReorderLevel THEN 1 ELSE 0 END AS NeedsReorder
  FROM dbo.Stock     AS s
  JOIN dbo.Warehouse AS w ON w.WarehouseId = s.WarehouseId
  JOIN dbo.Product   AS p ON p.ProductId = s.ProductId;

-- @object View | vw_ReorderList | 2007-02-01 15:44:50
CREATE VIEW dbo.vw_ReorderList
AS
SELECT sp.Warehouse, sp.Sku, sp.Product, sp.Available, sp.ReorderLevel,
       su.Name AS Supplier, su.LeadDays
  FROM dbo.vw_StockPosition AS sp
  JOIN dbo.Product  AS p  ON p.Sku = sp.Sku
  JOIN dbo.Supplier AS su ON su.SupplierId = p.SupplierId
 WHERE sp.NeedsReorder = 1 AND p.IsDiscontinued = 0;

-- @object View | vw_OverdueInvoices | 2006-04-03 12:05:33
CREATE VIEW dbo.vw_OverdueInvoices
AS
SELECT i.InvoiceId, i.IssuedOn, i.DueOn, c.Code AS CustomerCode, c.Name AS CustomerName,
       i.NetAmount + i.TaxAmount - i.PaidAmount AS Outstanding,
       DATEDIFF(day, i.DueOn, GETDATE()) AS DaysOverdue
  FROM dbo.Invoice    AS i
  JOIN dbo.SalesOrder AS o ON o.OrderId = i.OrderId
  JOIN dbo.Customer   AS c ON c.CustomerId = o.CustomerId
 WHERE i.PaidAmount < i.NetAmount + i.TaxAmount
   AND i.DueOn < CONVERT(date, GETDATE());

-- @object View | vw_AgedDebt | 2008-11-18 16:30:04
CREATE VIEW dbo.vw_AgedDebt
AS
SELECT CustomerCode, CustomerName,
       SUM(CASE WHEN DaysOverdue <= 30 THEN Outstanding ELSE 0 END) AS Days0To30,
       SUM(CASE WHEN DaysOverdue BETWEEN 31 AND 60 THEN Outstanding ELSE 0 END) AS Days31To60,
       SUM(CASE WHEN DaysOverdue BETWEEN 61 AND 90 THEN Outstanding ELSE 0 END) AS Days61To90,
       SUM(CASE WHEN DaysOverdue > 90 THEN Outstanding ELSE 0 END) AS Over90
  FROM dbo.vw_OverdueInvoices
 GROUP BY CustomerCode, CustomerName;

-- @object View | vw_MonthlySales | 2009-01-12 09:41:17
CREATE VIEW dbo.vw_MonthlySales
AS
SELECT DATEFROMPARTS(YEAR(o.OrderedAt), MONTH(o.OrderedAt), 1) AS SalesMonth,
       r.Name AS Region,
       SUM(t.NetAmount) AS NetAmount,
       COUNT(*) AS Orders
  FROM dbo.SalesOrder     AS o
  JOIN dbo.vw_OrderTotals AS t ON t.OrderId = o.OrderId
  JOIN dbo.Customer       AS c ON c.CustomerId = o.CustomerId
  JOIN dbo.Region         AS r ON r.RegionId = c.RegionId
 WHERE o.Status <> 'CANCELLED'
 GROUP BY DATEFROMPARTS(YEAR(o.OrderedAt), MONTH(o.OrderedAt), 1), r.Name;

-- @object View | vw_ProductMargin | 2009-01-12 09:44:58
CREATE VIEW dbo.vw_ProductMargin
AS
SELECT p.Sku, p.Name, pc.Name AS Category, p.ListPrice, p.CostPrice,
       CAST(100 * (p.ListPrice - p.CostPrice) / NULLIF(p.ListPrice, 0) AS decimal(5, 2)) AS MarginPct
  FROM dbo.Product         AS p
  JOIN dbo.ProductCategory AS pc ON pc.CategoryId = p.CategoryId
 WHERE p.IsDiscontinued = 0;

-- @object View | vw_ShipmentStatus | 2007-06-11 10:20:45
CREATE VIEW dbo.vw_ShipmentStatus
AS
SELECT s.ShipmentId, s.OrderId, ca.Name AS Carrier, s.TrackingNo,
       REPLACE(ca.TrackingUrl, '{0}', s.TrackingNo) AS TrackingLink,
       CASE WHEN s.DeliveredAt IS NOT NULL THEN 'Delivered'
            WHEN s.ShippedAt IS NOT NULL THEN 'In transit'
            ELSE 'Awaiting collection' END AS State
  FROM dbo.Shipment AS s
  JOIN dbo.Carrier  AS ca ON ca.CarrierCode = s.CarrierCode;

-- @object View | vw_LateShipments | 2011-03-29 13:12:00
CREATE VIEW dbo.vw_LateShipments
AS
SELECT o.OrderId, o.RequiredBy, s.ShippedAt, c.Name AS CustomerName
  FROM dbo.SalesOrder AS o
  JOIN dbo.Customer   AS c ON c.CustomerId = o.CustomerId
  LEFT JOIN dbo.Shipment AS s ON s.OrderId = o.OrderId
 WHERE o.RequiredBy IS NOT NULL
   AND (s.ShippedAt IS NULL OR CONVERT(date, s.ShippedAt) > o.RequiredBy)
   AND o.Status <> 'CANCELLED';

-- @object View | vw_CurrentPrices | 2009-09-30 13:30:10
CREATE VIEW dbo.vw_CurrentPrices
AS
SELECT pl.Name AS PriceList, p.Sku, p.Name AS Product, pli.Price
  FROM dbo.PriceListItem AS pli
  JOIN dbo.PriceList     AS pl ON pl.PriceListId = pli.PriceListId
  JOIN dbo.Product       AS p  ON p.ProductId = pli.ProductId
 WHERE pl.ValidFrom <= CONVERT(date, GETDATE())
   AND (pl.ValidTo IS NULL OR pl.ValidTo >= CONVERT(date, GETDATE()));

-- @object View | vw_ReturnsByProduct | 2010-02-08 12:00:31
CREATE VIEW dbo.vw_ReturnsByProduct
AS
SELECT p.Sku, p.Name, SUM(r.Quantity) AS Returned, COUNT(*) AS Authorisations
  FROM dbo.ReturnAuthorisation AS r
  JOIN dbo.SalesOrderLine AS l ON l.OrderId = r.OrderId AND l.LineNo = r.LineNo
  JOIN dbo.Product        AS p ON p.ProductId = l.ProductId
 GROUP BY p.Sku, p.Name;

-- @object View | vw_CustomerBalance | 2012-07-16 10:10:10
CREATE VIEW dbo.vw_CustomerBalance
AS
SELECT c.CustomerId, c.Code, c.Name, c.CreditLimit,
       ISNULL(SUM(i.NetAmount + i.TaxAmount - i.PaidAmount), 0) AS Balance
  FROM dbo.Customer AS c
  LEFT JOIN dbo.SalesOrder AS o ON o.CustomerId = c.CustomerId
  LEFT JOIN dbo.Invoice    AS i ON i.OrderId = o.OrderId
 GROUP BY c.CustomerId, c.Code, c.Name, c.CreditLimit;

-- @object View | vw_OrderAuditTrail | 2013-10-02 17:40:55
CREATE VIEW dbo.vw_OrderAuditTrail
AS
SELECT a.OrderId, a.OldStatus, a.NewStatus, a.ChangedAt, a.ChangedBy,
       LEAD(a.ChangedAt) OVER (PARTITION BY a.OrderId ORDER BY a.ChangedAt) AS NextChangeAt
  FROM dbo.OrderAudit AS a;

-- @object View | vw_WebBasketLines | 2018-06-05 14:40:27
CREATE VIEW dbo.vw_WebBasketLines
AS
SELECT b.BasketId, b.CustomerId, j.Sku, j.Quantity
  FROM dbo.WebBasket AS b
 CROSS APPLY OPENJSON(b.Lines)
       WITH (Sku varchar(20) '$.sku', Quantity int '$.qty') AS j;

-- @object View | vw_TopCustomers | 2019-02-25 08:30:00
CREATE VIEW dbo.vw_TopCustomers
AS
SELECT TOP (50) c.Code, c.Name, SUM(t.NetAmount) AS Spend12Months
  FROM dbo.Customer       AS c
  JOIN dbo.SalesOrder     AS o ON o.CustomerId = c.CustomerId
  JOIN dbo.vw_OrderTotals AS t ON t.OrderId = o.OrderId
 WHERE o.OrderedAt >= DATEADD(month, -12, SYSUTCDATETIME())
 GROUP BY c.Code, c.Name
 ORDER BY Spend12Months DESC;
